// velmora-panel: the settings dialog of the TOLVENIK Velmora driver, which the driver's
// control panel opens. It lists the sinks through the finder of the ASIOVelmora.dll beside
// it and edits the settings file that the driver reads.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <CLI/CLI.hpp>

#include <sstream>

#include "FinderSource.h"
#include "PanelWindow.h"
#include "WideText.h"
#include "platform/Files.h"

namespace {

void tell(const std::string& text, UINT icon) {
    MessageBoxW(nullptr, widen(text).c_str(), L"TOLVENIK Velmora settings", MB_OK | icon);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
    LocalFree(wide);
    // The driver's control panel starts the dialog without arguments; a test hands it its
    // steps (--select ... --apply ...) through VELMORA_PANEL_TEST instead.
    wchar_t testSteps[512] = {};
    if (count == 1 && GetEnvironmentVariableW(L"VELMORA_PANEL_TEST", testSteps, 512) > 0) {
        std::istringstream words(narrow(testSteps));
        for (std::string word; words >> word;) arguments.push_back(word);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());

    CLI::App app{"The settings dialog of the TOLVENIK Velmora driver."};
    std::string module = platform::moduleFolder() + "ASIOVelmora.dll";
    PanelScript script;
    int select = -1;
    app.add_option("--module", module, "Driver module whose finder lists the sinks (default: the one beside this program)");
    app.add_option("--page", script.page, "Page shown first: 0 Sink, 1 Settings, 2 Advanced")->check(CLI::Range(0, 2));
    // Test steps, taken once the first search has ended.
    app.add_option("--select", select, "Choose list row N (0: Automatic, N: the N-th output listed)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--apply", script.apply, "Then press Apply");
    app.add_option("--report", script.reportPath, "Then write the sink list as shown to this file");
    app.add_option("--close-after-ms", script.closeAfterMs, "Then press Cancel after this many milliseconds");
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        std::ostringstream out, err;
        const int status = app.exit(error, out, err);
        tell(out.str() + err.str(), status == 0 ? MB_ICONINFORMATION : MB_ICONERROR);
        return status;
    }
    if (select >= 0) script.select = select;

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    PanelSettings settings(SettingsEnvironment::system());
    std::string error;
    if (!settings.open(error)) tell(error + "\n\nRestore factory settings writes a new settings file.", MB_ICONWARNING);

    FinderSource source;
    const bool found = source.openModule(module);
    PanelWindow window(settings, found ? source.finder() : nullptr, source.error(), std::move(script));
    if (!window.run(instance)) {
        tell("The settings dialog cannot be shown.", MB_ICONERROR);
        return 1;
    }
    return 0;
}
