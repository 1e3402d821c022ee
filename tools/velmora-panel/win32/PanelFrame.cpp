// The dialog's frame: its pages, OK/Cancel/Apply, the keyboard, and the test script.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "PanelWindow.h"
#include "WideText.h"
#include "platform/Files.h"
#include "resource.h"

namespace {

constexpr UINT searchEndedMessage = WM_APP + 1;
constexpr UINT rescaleMessage = WM_APP + 2;
constexpr UINT_PTR closeTimer = 1;
const wchar_t* const pageTitles[] = {L"Sink", L"Settings", L"Advanced"};
constexpr int pageTemplates[] = {IDD_SINKS, IDD_SETTINGS, IDD_ADVANCED};

}  // namespace

PanelWindow::PanelWindow(PanelSettings& settings, VELMORA::asio_velmora_find_call* finder, std::string finderError,
                         PanelScript script)
    : settings_(settings), finderError_(std::move(finderError)), script_(std::move(script)) {
    if (finder) search_ = std::make_unique<SinkSearch>(*finder, [this] { PostMessageW(frame_, searchEndedMessage, 0, 0); });
}

PanelWindow::~PanelWindow() {
    search_.reset();   // waits for a search still running
    if (frame_) DestroyWindow(frame_);
}

bool PanelWindow::run(HINSTANCE instance) {
    instance_ = instance;
    if (!CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PANEL), nullptr, frameProc, reinterpret_cast<LPARAM>(this)))
        return false;
    ShowWindow(frame_, SW_SHOW);
    MSG message;
    while (!done_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Ctrl+Tab and Ctrl+PageDown go to the next page, with Shift or PageUp to the one before.
        if (message.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 &&
            (message.wParam == VK_TAB || message.wParam == VK_NEXT || message.wParam == VK_PRIOR)) {
            const bool back = message.wParam == VK_PRIOR || (message.wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0);
            nextPage(back ? -1 : 1);
            continue;
        }
        if (!IsDialogMessageW(frame_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

INT_PTR CALLBACK PanelWindow::frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<PanelWindow*>(lParam);
        self->frame_ = window;
        self->initFrame();
        return FALSE;   // the focus is set
    }
    auto* self = reinterpret_cast<PanelWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->frameMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CALLBACK PanelWindow::pageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<PanelWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->pageMessage(window, message, wParam, lParam) : FALSE;
}

// Commands and notifications of the frame's and the pages' controls go to one handler each.
bool PanelWindow::routed(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    else if (message == WM_NOTIFY) notify(*reinterpret_cast<const NMHDR*>(lParam));
    else return false;
    return true;
}

INT_PTR PanelWindow::frameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (routed(message, wParam, lParam)) return TRUE;
    switch (message) {
    case WM_CLOSE:
        command(IDCANCEL, BN_CLICKED, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wParam == closeTimer) {
            KillTimer(frame_, closeTimer);
            command(IDCANCEL, BN_CLICKED, nullptr);
        }
        return TRUE;
    case WM_DPICHANGED:
        // The dialog manager rescales the dialog, its controls and fonts on another monitor;
        // the lists' columns (in pixels) follow once it is done.
        PostMessageW(frame_, rescaleMessage, 0, 0);
        return FALSE;
    default:
        if (message == searchEndedMessage) {
            searchEnded();
            return TRUE;
        }
        if (message == rescaleMessage) {
            sizeSinkColumns();
            sizeKeyColumns();
            return TRUE;
        }
        return FALSE;
    }
}

INT_PTR PanelWindow::pageMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (routed(message, wParam, lParam)) return TRUE;
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        // The accepted values and remarks are secondary: grey text.
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (page == pages_[settingsPage] && id >= IDC_FIELDS && (id - IDC_FIELDS) % FIELD_STRIDE == 3) {
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_GRAYTEXT));
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));   // over the page's own background
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void PanelWindow::command(int id, int code, HWND control) {
    switch (id) {
    case IDOK:
        if (commit()) close();
        return;
    case IDCANCEL:
        settings_.discard();
        close();
        return;
    case IDC_APPLY:
        commit();
        return;
    case IDC_REFRESH:
        startSearch();
        return;
    case IDC_RESTORE:
        restoreFactory();
        return;
    case IDC_SECTION:
        if (code == CBN_SELCHANGE) {
            lowSection_ = SendMessageW(control, CB_GETCURSEL, 0, 0) == 1;
            loadAdvancedPage();
        }
        return;
    case IDC_SETKEY:
        setKey();
        return;
    case IDC_KEYVALUE:
        // Enter in the value field sets the key rather than closing the dialog.
        if (code == EN_SETFOCUS) SendMessageW(frame_, DM_SETDEFID, IDC_SETKEY, 0);
        if (code == EN_KILLFOCUS) SendMessageW(frame_, DM_SETDEFID, IDOK, 0);
        return;
    default:
        if (id >= IDC_FIELDS && id < IDC_FIELDS + FIELD_STRIDE * static_cast<int>(mainSettings().size()) &&
            (id - IDC_FIELDS) % FIELD_STRIDE == 1 && !loading_ &&
            (code == EN_CHANGE || code == CBN_SELCHANGE || code == BN_CLICKED))
            fieldChanged(static_cast<size_t>((id - IDC_FIELDS) / FIELD_STRIDE));
    }
}

void PanelWindow::notify(const NMHDR& header) {
    if (header.idFrom == IDC_TABS && header.code == TCN_SELCHANGE) {
        showPage(TabCtrl_GetCurSel(header.hwndFrom));
    } else if (header.code == LVN_ITEMCHANGED && !loading_) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        const bool selected = (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED);
        if (!selected) return;
        if (header.idFrom == IDC_SINKLIST) sinkChosen(change.iItem);
        if (header.idFrom == IDC_KEYLIST) keySelected();
    } else if (header.code == NM_DBLCLK && header.idFrom == IDC_KEYLIST) {
        SetFocus(item(advancedPage, IDC_KEYVALUE));
    }
}

void PanelWindow::initFrame() {
    SendMessageW(frame_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIconW(nullptr, IDI_APPLICATION)));
    HWND tabs = GetDlgItem(frame_, IDC_TABS);
    for (int i = 0; i < pageCount; ++i) {
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<wchar_t*>(pageTitles[i]);
        TabCtrl_InsertItem(tabs, i, &tab);
    }
    // The pages cover the tab control's display area and follow it in the keyboard order.
    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (int i = 0; i < pageCount; ++i) {
        pages_[i] = CreateDialogParamW(instance_, MAKEINTRESOURCEW(pageTemplates[i]), frame_, pageProc,
                                       reinterpret_cast<LPARAM>(this));
        EnableThemeDialogTexture(pages_[i], ETDT_ENABLETAB);
        SetWindowPos(pages_[i], tabs, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
    }
    initSinkPage();
    initSettingsPage();
    initAdvancedPage();
    showPage(script_.page >= 0 && script_.page < pageCount ? script_.page : 0);
    startSearch();
}

void PanelWindow::showPage(int index, bool reload) {
    TabCtrl_SetCurSel(GetDlgItem(frame_, IDC_TABS), index);
    if (reload && index == sinkPage) fillSinkList();
    if (reload && index == settingsPage) loadSettingsPage();
    if (reload && index == advancedPage) loadAdvancedPage();
    for (int i = 0; i < pageCount; ++i) ShowWindow(pages_[i], i == index ? SW_SHOW : SW_HIDE);
    const int first[] = {IDC_SINKLIST, IDC_FIELDS + 1, IDC_KEYLIST};
    SetFocus(item(static_cast<Page>(index), first[index]));
}

void PanelWindow::nextPage(int step) {
    showPage((TabCtrl_GetCurSel(GetDlgItem(frame_, IDC_TABS)) + step + pageCount) % pageCount);
}

bool PanelWindow::commit() {
    if (!fieldProblems_.empty()) {
        const auto& [field, problem] = *fieldProblems_.begin();
        showPage(settingsPage, false);   // the refused text stays for the user to correct
        SetFocus(item(settingsPage, IDC_FIELDS + static_cast<int>(field) * FIELD_STRIDE + 1));
        MessageBoxW(frame_, widen(problem + "\n\nNothing was saved.").c_str(), L"TOLVENIK Velmora settings",
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    if (const std::string why = settings_.apply(); !why.empty()) {
        MessageBoxW(frame_, widen("The settings were not saved: " + why).c_str(), L"TOLVENIK Velmora settings",
                    MB_OK | MB_ICONERROR);
        return false;
    }
    // The output in use may have changed.
    rows_ = sinkRows(targets_, settings_.inUse());
    fillSinkList();
    draftChanged();
    return true;
}

void PanelWindow::close() {
    done_ = true;
    ShowWindow(frame_, SW_HIDE);
    PostMessageW(frame_, WM_NULL, 0, 0);   // wakes the message loop
}

void PanelWindow::draftChanged() {
    HWND apply = GetDlgItem(frame_, IDC_APPLY);
    const bool enable = settings_.changed() || !fieldProblems_.empty();
    // A disabled button cannot keep the keyboard focus: it goes to OK.
    if (!enable && GetFocus() == apply) SendMessageW(frame_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(frame_, IDOK)), TRUE);
    EnableWindow(apply, enable);
}

void PanelWindow::runScript() {
    if (scriptDone_) return;
    scriptDone_ = true;
    if (script_.select) {
        HWND list = item(sinkPage, IDC_SINKLIST);
        ListView_SetItemState(list, *script_.select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, *script_.select, FALSE);
    }
    if (script_.apply) command(IDC_APPLY, BN_CLICKED, nullptr);
    if (!script_.reportPath.empty()) writeReport();
    if (script_.closeAfterMs >= 0) SetTimer(frame_, closeTimer, static_cast<UINT>(script_.closeAfterMs), nullptr);
}

// One line per list row as the control holds it: its cells, then "selected" or "".
void PanelWindow::writeReport() const {
    HWND list = item(sinkPage, IDC_SINKLIST);
    const int columns = Header_GetItemCount(ListView_GetHeader(list));
    std::string report;
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        for (int column = 0; column < columns; ++column) {
            wchar_t text[512] = {};
            ListView_GetItemText(list, row, column, text, 512);
            report += narrow(text) + "\t";
        }
        report += (ListView_GetItemState(list, row, LVIS_SELECTED) ? "selected" : "") + std::string("\n");
    }
    report += "status\t" + controlText(item(sinkPage, IDC_SEARCHSTATUS)) + "\n";
    report += "file\t" + controlText(item(settingsPage, IDC_SETTINGSFILE)) + "\n";
    platform::writeFile(script_.reportPath, report);
}

int PanelWindow::dialogUnits(int horizontal) const {
    RECT box{0, 0, horizontal, 0};
    MapDialogRect(pages_[sinkPage], &box);
    return box.right;
}
