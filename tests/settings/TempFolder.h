#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the
// end of the test. Paths are handed out in the system's own UTF-8 form.

#include <filesystem>
#include <random>
#include <string>

#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "platform/Files.h"

class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() / ("velmora-settings-" + std::to_string(random()));
        std::filesystem::create_directories(root_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a trailing separator.
    std::string path() const { return root_.string(); }
    // A name inside the folder.
    std::string operator/(const std::string& name) const { return path() + "/" + name; }

    static std::string read(const std::string& path) { return platform::readFile(path).value_or("<missing>"); }

private:
    std::filesystem::path root_;
};

// A driver's module folder holding the factory file, and a per-user settings folder not yet
// made, as the settings editors find them on a 4-core machine.
struct EditorFolders {
    explicit EditorFolders(const std::string& factoryContent) {
        platform::createFolder(folder / "module");
        environment.settingsFolder = folder / "user";
        environment.moduleFolder = (folder / "module") + "/";
        environment.coreCount = [] { return 4u; };
        platform::writeFile(factoryFile(), factoryContent);
    }
    std::string userFile() const { return environment.settingsFolder + "\\setting.inf"; }
    std::string factoryFile() const { return environment.moduleFolder + "setting_org.inf"; }
    // The per-user file holds the factory settings (comments aside).
    bool userFileIsFactory() const {
        IniFile written, factory;
        return written.load(userFile()) && factory.load(factoryFile()) &&
               written.sameContent(factory);
    }

    TempFolder folder;
    SettingsEnvironment environment;
};
