// The Settings page: the keys users change most, one field each with the values the key
// table accepts, where the settings file lies, and the factory settings.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include "PanelWindow.h"
#include "WideText.h"
#include "driver/SettingsKeys.h"
#include "platform/Files.h"
#include "resource.h"

namespace {

// Field i's controls: label, field, unit, accepted values.
int fieldId(size_t field, int part) { return IDC_FIELDS + static_cast<int>(field) * FIELD_STRIDE + part; }

bool isCheckBox(const MainSetting& setting) { return setting.choices.size() == 1; }

std::string withoutMnemonic(std::string label) {
    if (const size_t at = label.find('&'); at != std::string::npos) label.erase(at, 1);
    if (!label.empty() && label.back() == ':') label.pop_back();
    return label;
}

}  // namespace

void PanelWindow::initSettingsPage() {
    HWND page = pages_[settingsPage];
    const auto font = SendMessageW(page, WM_GETFONT, 0, 0);
    HWND previous = HWND_TOP;   // the fields come first in the keyboard order
    const auto add = [&](const wchar_t* windowClass, const std::string& text, DWORD style, DWORD exStyle,
                         RECT box, int id) {
        MapDialogRect(page, &box);
        HWND control = CreateWindowExW(exStyle, windowClass, widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                       box.left, box.top, box.right - box.left, box.bottom - box.top, page,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        SendMessageW(control, WM_SETFONT, font, FALSE);
        SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control;
    };
    const std::vector<MainSetting>& fields = mainSettings();
    for (size_t i = 0; i < fields.size(); ++i) {
        const MainSetting& field = fields[i];
        const int top = 6 + static_cast<int>(i) * 22;
        // The key in the file and the values it takes, as the key table states them.
        const std::string accepted = std::string(field.key) + ": " + findSettingKey(field.key)->acceptedText;
        if (isCheckBox(field)) {
            add(L"BUTTON", field.label, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 0, {6, top, 200, top + 10}, fieldId(i, 1));
            add(L"STATIC", accepted, SS_NOPREFIX, 0, {18, top + 11, 342, top + 19}, fieldId(i, 3));
            continue;
        }
        add(L"STATIC", field.label, 0, 0, {6, top + 2, 82, top + 10}, fieldId(i, 0));
        if (field.choices.empty()) {
            add(L"EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, {84, top, 164, top + 12}, fieldId(i, 1));
            add(L"STATIC", field.unit, SS_NOPREFIX, 0, {168, top + 2, 220, top + 10}, fieldId(i, 2));
        } else {
            add(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0, {84, top, 342, top + 90},
                fieldId(i, 1));
        }
        add(L"STATIC", accepted, SS_NOPREFIX, 0, {84, top + 13, 342, top + 21}, fieldId(i, 3));
    }
    setControlText(item(settingsPage, IDC_SETTINGSFILE), platform::nativePath(settings_.path()));
}

// Every field from the draft; a key that is not set shows its default.
void PanelWindow::loadSettingsPage() {
    loading_ = true;
    fieldProblems_.clear();
    const std::vector<MainSetting>& fields = mainSettings();
    for (size_t i = 0; i < fields.size(); ++i) {
        const MainSetting& field = fields[i];
        HWND control = item(settingsPage, fieldId(i, 1));
        const std::string value = settings_.value(field.key);
        if (isCheckBox(field)) {
            Button_SetCheck(control, value.empty() ? BST_UNCHECKED : BST_CHECKED);
        } else if (field.choices.empty()) {
            const char* fallback = findSettingKey(field.key)->defaultText;
            setControlText(control, value.empty() && isPlainNumber(fallback) ? fallback : value);
        } else {
            SendMessageW(control, CB_RESETCONTENT, 0, 0);
            for (const ValueChoice& choice : field.choices)
                SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(choice.label).c_str()));
            int index = choiceIndex(field, value);
            if (index < 0) {
                // A value written by hand stays selectable as it is.
                index = static_cast<int>(SendMessageW(control, CB_ADDSTRING, 0,
                                                      reinterpret_cast<LPARAM>(widen(value + " (as in the file)").c_str())));
            }
            SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }
    loading_ = false;
    showFieldProblem();
}

void PanelWindow::fieldChanged(size_t i) {
    const MainSetting& field = mainSettings()[i];
    HWND control = item(settingsPage, fieldId(i, 1));
    std::string value;
    if (isCheckBox(field)) {
        const std::string now = settings_.value(field.key);
        value = Button_GetCheck(control) != BST_CHECKED ? "" : now.empty() ? field.choices[0].value : now;
    } else if (field.choices.empty()) {
        value = controlText(control);
    } else {
        const auto index = static_cast<size_t>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        if (index >= field.choices.size()) return;   // the value as in the file: unchanged
        value = field.choices[index].value;
    }
    if (const std::string why = settings_.set(field.key, value); why.empty())
        fieldProblems_.erase(i);
    else
        fieldProblems_[i] = withoutMnemonic(field.label) + ": " + why;
    showFieldProblem();
    draftChanged();
}

void PanelWindow::showFieldProblem() {
    setControlText(item(settingsPage, IDC_SETTINGSPROBLEM),
                   fieldProblems_.empty() ? std::string() : fieldProblems_.begin()->second);
}

void PanelWindow::restoreFactory() {
    if (const std::string why = settings_.restoreFactory(); !why.empty()) {
        MessageBoxW(frame_, widen(why).c_str(), L"TOLVENIK Velmora settings", MB_OK | MB_ICONERROR);
        return;
    }
    loadSettingsPage();
    draftChanged();
}
