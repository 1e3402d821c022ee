#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the
// end of the test. Paths are handed out in the system's own UTF-8 form.

#include <filesystem>
#include <random>
#include <string>

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
