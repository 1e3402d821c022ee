// The Advanced page: every key of section global or LOW, set one at a time.
#include <windows.h>
#include <commctrl.h>

#include "PanelWindow.h"
#include "WideText.h"
#include "resource.h"

namespace {

struct Column {
    const wchar_t* name;
    int width;   // dialog units
};
constexpr Column keyColumns[] = {{L"Key", 86}, {L"Value", 100}, {L"Default", 50}, {L"Remark", 0}};   // 0: the rest

int selectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

}  // namespace

void PanelWindow::initAdvancedPage() {
    HWND sections = item(advancedPage, IDC_SECTION);
    SendMessageW(sections, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"global"));
    SendMessageW(sections, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"LOW (machines with at most CPULOW cores)"));
    SendMessageW(sections, CB_SETCURSEL, 0, 0);
    HWND list = item(advancedPage, IDC_KEYLIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    for (int i = 0; i < static_cast<int>(std::size(keyColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(keyColumns[i].name);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
}

void PanelWindow::sizeKeyColumns() {
    HWND list = item(advancedPage, IDC_KEYLIST);
    const int last = static_cast<int>(std::size(keyColumns)) - 1;
    for (int i = 0; i < last; ++i) ListView_SetColumnWidth(list, i, dialogUnits(keyColumns[i].width));
    ListView_SetColumnWidth(list, last, LVSCW_AUTOSIZE_USEHEADER);
}

// The draft's keys of the chosen section; the selection stays on the same row.
void PanelWindow::loadAdvancedPage() {
    HWND list = item(advancedPage, IDC_KEYLIST);
    const int selected = std::max(selectedRow(list), 0);
    loading_ = true;
    ListView_DeleteAllItems(list);
    const std::vector<SettingRow> rows = settings_.rows(lowSection_);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring cells[] = {widen(rows[i].key->name), widen(rows[i].value), widen(rows[i].key->defaultText),
                                widen(rows[i].problem.empty() ? "" : "not taken as written")};
        LVITEMW entry{};
        entry.mask = LVIF_TEXT;
        entry.iItem = static_cast<int>(i);
        entry.pszText = cells[0].data();
        ListView_InsertItem(list, &entry);
        for (int column = 1; column < static_cast<int>(std::size(cells)); ++column)
            ListView_SetItemText(list, static_cast<int>(i), column, cells[column].data());
    }
    const int row = std::min(selected, static_cast<int>(rows.size()) - 1);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, row, FALSE);
    sizeKeyColumns();   // a scroll bar may have come or gone
    loading_ = false;
    keySelected();
}

void PanelWindow::keySelected() {
    const int row = selectedRow(item(advancedPage, IDC_KEYLIST));
    const std::vector<SettingRow> rows = settings_.rows(lowSection_);
    if (row < 0 || row >= static_cast<int>(rows.size())) return;
    const SettingRow& setting = rows[static_cast<size_t>(row)];
    setControlText(item(advancedPage, IDC_KEYVALUE), setting.value);
    std::string help = std::string(setting.key->name) + " accepts " + setting.key->acceptedText + "; default " +
                       setting.key->defaultText + ". An empty value restores the default.";
    if (!setting.problem.empty()) help += "\nAs written, the driver does not take it: " + setting.problem;
    setControlText(item(advancedPage, IDC_KEYHELP), help);
}

void PanelWindow::setKey() {
    const int row = selectedRow(item(advancedPage, IDC_KEYLIST));
    const std::vector<SettingRow> rows = settings_.rows(lowSection_);
    if (row < 0 || row >= static_cast<int>(rows.size())) return;
    const std::string why =
        settings_.set(rows[static_cast<size_t>(row)].key->name, controlText(item(advancedPage, IDC_KEYVALUE)), lowSection_);
    if (!why.empty()) {
        setControlText(item(advancedPage, IDC_KEYHELP), "Not taken: " + why);
        MessageBeep(MB_ICONWARNING);
        return;
    }
    loadAdvancedPage();
    draftChanged();
}
