// Where the settings files lie, and the refresh of the per-user file from the factory file.
#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "find/ProductTag.h"
#include "platform/Files.h"
#include "platform/Thread.h"

SettingsEnvironment SettingsEnvironment::system() {
    SettingsEnvironment environment;
    environment.settingsFolder = platform::appDataFolder() + "\\" + std::string(VELMORA::productName);
    environment.moduleFolder = platform::moduleFolder();
    environment.coreCount = platform::coreCount;
    return environment;
}

void DriverSettings::locate(const SettingsEnvironment& environment) {
    environment_ = environment;
    readOnlyFallback = false;
    settingPath = environment.settingsFolder + "\\" + settingsFileName;
    factoryPath = environment.moduleFolder + factoryFileName;
    controlPanelPath = environment.moduleFolder;

    if (IniFile user; !user.load(settingPath)) {
        // No per-user file: the one named by "setting_path.inf", else the factory file in place.
        IniFile pathFile;
        std::string named;
        if (pathFile.load(environment.moduleFolder + pathFileName)) named = pathFile.get("SettingPath");
        if (IniFile other; !named.empty() && other.load(named)) {
            settingPath = named;
        } else {
            settingPath = factoryPath;
            readOnlyFallback = true;
        }
    }

    IniFile factory;
    if (!factory.load(factoryPath)) return;
    controlPanelPath += factory.get("ASIOControlPanel");
    if (readOnlyFallback) return;
    // A new factory Version resets the user's settings to the factory ones. A failed write
    // leaves the user's file as it was and is not reported.
    IniFile current;
    current.load(settingPath);
    if (current.get("Version") != factory.get("Version")) {
        current.assign(factory);
        current.save(settingPath);
    }
}

bool DriverSettings::relocate() {
    const std::string was = settingPath;
    locate(SettingsEnvironment(environment_));
    return settingPath != was;
}
