// The Sink page: the outputs found, which one the driver uses, and the choice of another.
#include <windows.h>
#include <commctrl.h>

#include "PanelWindow.h"
#include "WideText.h"
#include "resource.h"

namespace {

// Column widths in dialog units, in the order of sinkColumns(); the last takes the rest.
constexpr int columnWidths[] = {104, 30, 86, 32, 40};

void insertRow(HWND list, int row, const std::vector<std::string>& cells) {
    std::wstring first = widen(cells[0]);
    LVITEMW entry{};
    entry.mask = LVIF_TEXT;
    entry.iItem = row;
    entry.pszText = first.data();
    ListView_InsertItem(list, &entry);
    for (size_t column = 1; column < cells.size(); ++column) {
        std::wstring text = widen(cells[column]);
        ListView_SetItemText(list, row, static_cast<int>(column), text.data());
    }
}

}  // namespace

void PanelWindow::initSinkPage() {
    HWND list = item(sinkPage, IDC_SINKLIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    const std::vector<std::string> names = sinkColumns();
    for (size_t i = 0; i < names.size(); ++i) {
        std::wstring name = widen(names[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = name.data();
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(list, static_cast<int>(i), &column);
    }
    sizeSinkColumns();
}

void PanelWindow::sizeSinkColumns() {
    HWND list = item(sinkPage, IDC_SINKLIST);
    for (size_t i = 0; i < std::size(columnWidths); ++i)
        ListView_SetColumnWidth(list, static_cast<int>(i), dialogUnits(columnWidths[i]));
    ListView_SetColumnWidth(list, static_cast<int>(sinkColumns().size()) - 1, LVSCW_AUTOSIZE_USEHEADER);
}

void PanelWindow::startSearch() {
    if (!search_) {
        setControlText(item(sinkPage, IDC_SEARCHSTATUS), "The sinks cannot be listed: " + finderError_);
        EnableWindow(item(sinkPage, IDC_REFRESH), FALSE);
        runScript();
        return;
    }
    // The same discovery as the driver's: its FindIP addresses and its interface.
    const DriverSettings inUse = settings_.inUse();
    if (!search_->start(inUse.findIP, inUse.interfaceIndex)) return;
    EnableWindow(item(sinkPage, IDC_REFRESH), FALSE);
    setControlText(item(sinkPage, IDC_SEARCHSTATUS), searchStatus(true, true, rows_));
}

void PanelWindow::searchEnded() {
    if (auto result = search_->take()) {
        targets_ = std::move(result->targets);
        complete_ = result->complete;
    }
    rows_ = sinkRows(targets_, settings_.inUse());
    fillSinkList();
    HWND refresh = item(sinkPage, IDC_REFRESH);
    const bool hadFocus = GetFocus() == refresh;
    EnableWindow(refresh, TRUE);
    if (hadFocus) SetFocus(refresh);
    runScript();
}

// Row 0 is "Automatic", then the outputs; the draft's choice is selected.
void PanelWindow::fillSinkList() {
    HWND list = item(sinkPage, IDC_SINKLIST);
    loading_ = true;
    ListView_DeleteAllItems(list);
    const bool automatic = VELMORA::isZeroAddress(settings_.inUse().targetAddress);
    insertRow(list, 0, {"Automatic: the first sink found", "", "", "", automatic ? "in use" : "", ""});
    for (size_t i = 0; i < rows_.size(); ++i) insertRow(list, static_cast<int>(i) + 1, sinkCells(rows_[i]));
    sizeSinkColumns();   // a scroll bar may have come or gone
    const int chosen = chosenRow(rows_, settings_.value("TargetAddress"), settings_.value("TargetPO"));
    if (chosen != noRow) {
        const int row = chosen == automaticRow ? 0 : chosen + 1;
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, row, FALSE);
    }
    loading_ = false;
    const bool searching = search_ && search_->searching();
    if (search_) setControlText(item(sinkPage, IDC_SEARCHSTATUS), searchStatus(searching, complete_, rows_));
}

void PanelWindow::sinkChosen(int listRow) {
    if (listRow < 0 || listRow > static_cast<int>(rows_.size())) return;
    const SinkRow* row = listRow == 0 ? nullptr : &rows_[static_cast<size_t>(listRow) - 1];
    for (const auto& [key, value] : choiceKeys(row)) settings_.set(key, value);
    draftChanged();
}
