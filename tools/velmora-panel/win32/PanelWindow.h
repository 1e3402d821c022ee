#pragma once
// The settings dialog: pages Sink, Settings and Advanced over one draft of the settings,
// written by Apply and OK, dropped by Cancel. The sink search runs on its own thread and
// posts the dialog a message when it ends.

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PanelSettings.h"
#include "SinkList.h"
#include "SinkSearch.h"

// Steps a test asks for, taken once the first search has ended, through the same handlers
// as the user's clicks.
struct PanelScript {
    std::optional<int> select;   // list row to choose: 0 Automatic, N the N-th output listed
    bool apply = false;          // then press Apply
    std::string reportPath;      // then write the list as shown (UTF-8, tab-separated) here
    int closeAfterMs = -1;       // then press Cancel after this long
    int page = 0;                // the page shown first
};

class PanelWindow {
public:
    // finder: null when the driver module could not be loaded (finderError says why).
    PanelWindow(PanelSettings& settings, VELMORA::asio_velmora_find_call* finder, std::string finderError,
                PanelScript script);
    ~PanelWindow();
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    // Shows the dialog and runs it until it is closed. False when it could not be created.
    bool run(HINSTANCE instance);

private:
    enum Page { sinkPage, settingsPage, advancedPage, pageCount };

    static INT_PTR CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK pageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR frameMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR pageMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    bool routed(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code, HWND control);
    void notify(const NMHDR& header);

    // Frame (PanelFrame.cpp).
    void initFrame();
    void showPage(int index, bool reload = true);   // reload: fill the page from the draft
    void nextPage(int step);
    bool commit();        // Apply: false when a value was refused or the file not written
    void close();
    void draftChanged();  // Apply's state after any change of the draft
    void runScript();
    void writeReport() const;
    int dialogUnits(int horizontal) const;

    // Sink page (SinkPage.cpp).
    void initSinkPage();
    void sizeSinkColumns();
    void startSearch();
    void searchEnded();
    void fillSinkList();
    void sinkChosen(int item);

    // Settings page (SettingsPage.cpp).
    void initSettingsPage();
    void loadSettingsPage();
    void fieldChanged(size_t field);
    void restoreFactory();
    void showFieldProblem();

    // Advanced page (AdvancedPage.cpp).
    void initAdvancedPage();
    void sizeKeyColumns();
    void loadAdvancedPage();
    void keySelected();
    void setKey();

    HWND item(Page page, int id) const { return GetDlgItem(pages_[page], id); }

    PanelSettings& settings_;
    std::unique_ptr<SinkSearch> search_;
    std::string finderError_;
    PanelScript script_;
    bool scriptDone_ = false;
    HINSTANCE instance_ = nullptr;
    HWND frame_ = nullptr;
    HWND pages_[pageCount] = {};
    bool done_ = false;
    bool loading_ = false;   // controls are being filled: their notifications are no edits

    VELMORA::TargetMap targets_;
    bool complete_ = true;
    std::vector<SinkRow> rows_;

    std::map<size_t, std::string> fieldProblems_;   // Settings page field -> why its text was refused
    bool lowSection_ = false;
};
