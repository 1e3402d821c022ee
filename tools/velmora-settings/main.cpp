// velmora-settings: shows and changes the settings of the TOLVENIK Velmora driver.
//
// The driver launches it from its control panel without arguments (interactive mode); run
// with a command it does one thing and exits.
#include <CLI/CLI.hpp>

#include <iostream>

#include "SettingsConsole.h"
#include "SettingsEditor.h"
#include "platform/Files.h"

int main(int argc, char** argv) {
    CLI::App app{"Shows and changes the settings of the TOLVENIK Velmora driver.\n"
                 "Without a command: interactive mode."};
    std::string settingsFolder, moduleFolder;
    app.add_option("--settings-folder", settingsFolder, "Folder of the per-user setting.inf (default: the user's)");
    app.add_option("--module-folder", moduleFolder, "Folder of the driver and setting_org.inf (default: this program's)");

    bool listLow = false;
    CLI::App* list = app.add_subcommand("list", "Show every key: value in the file, default, accepted values");
    list->add_flag("--low", listLow, "Show section LOW (read when CPULOW applies)");

    std::string key, value;
    bool setLow = false;
    CLI::App* set = app.add_subcommand("set", "Change a key; refused when the driver would not take the value");
    set->add_option("KEY", key, "Key name (case-sensitive)")->required();
    set->add_option("VALUE", value, "New value; empty or omitted restores the default");
    set->add_flag("--low", setLow, "Change the key in section LOW");

    bool check = false;
    app.add_flag("--check", check,
                 "List every value the driver would not take as written (exit status 1 when there is any)");

    bool keyTable = false;
    app.add_flag("--keys-markdown", keyTable, "Print every key as the Markdown table of the user guide");

    CLI::App* reset = app.add_subcommand("reset", "Replace every setting with the factory settings");
    CLI::App* paths = app.add_subcommand("paths", "Show where the settings files lie");
    app.require_subcommand(0, 1);
    CLI11_PARSE(app, argc, argv);

    SettingsEnvironment environment = SettingsEnvironment::system();
    if (!settingsFolder.empty()) environment.settingsFolder = settingsFolder;
    if (!moduleFolder.empty()) {
        environment.moduleFolder = moduleFolder;
        if (platform::folderOf(moduleFolder) != moduleFolder) environment.moduleFolder += "\\";
    }

    if (check) return checkSettings(environment, std::cout);
    if (keyTable) {
        std::cout << keyTableMarkdown();
        return 0;
    }

    if (*paths) {
        // Where the driver looks, without creating anything.
        DriverSettings located;
        located.locate(environment);
        std::cout << "settings file:  " << platform::nativePath(located.settingPath)
                  << (located.readOnlyFallback ? "  (the factory file: no per-user file yet)" : "") << "\n"
                  << "factory file:   " << platform::nativePath(located.factoryPath) << "\n"
                  << "control panel:  " << platform::nativePath(located.controlPanelPath) << "\n";
        return 0;
    }

    SettingsEditor editor(environment);
    std::string error;
    const bool opened = editor.open(error);
    if (*reset) {
        const std::string problem = editor.reset();
        if (!problem.empty()) {
            std::cerr << "velmora-settings: " << problem << "\n";
            return 1;
        }
        std::cout << "factory settings written to " << platform::nativePath(editor.path()) << "\n";
        return 0;
    }
    if (!opened) {
        std::cerr << "velmora-settings: " << error << "\n";
        return 1;
    }
    if (*list) {
        printSettings(editor, listLow, std::cout);
        return 0;
    }
    if (*set) {
        const std::string problem = editor.set(key, value, setLow);
        if (!problem.empty()) {
            std::cerr << "velmora-settings: " << key << " not changed: " << problem << "\n";
            return 2;
        }
        std::cout << key << (value.empty() ? " restored to its default" : " = " + value) << "\n";
        for (const std::string& note : editor.notes()) std::cout << "Note: " << note << "\n";
        return 0;
    }
    return runInteractive(editor, std::cin, std::cout);
}
