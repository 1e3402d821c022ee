#pragma once
// A driver object made the way a host makes it: through the module's class factory, with its
// settings read from a private folder that the harness writes and removes again.

#include <filesystem>
#include <string>

#include "com/Asio.h"
#include "driver/AsioVelmora.h"

namespace drivertest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Points objects made by the class factory at a private settings folder holding one
// "setting.inf" with the given text, and back at the system's folders when it goes.
class PrivateSettings {
public:
    explicit PrivateSettings(const std::string& settingsText = "");
    ~PrivateSettings();
    PrivateSettings(const PrivateSettings&) = delete;
    PrivateSettings& operator=(const PrivateSettings&) = delete;
    std::string settingsFile() const;

private:
    PrivateFolder folder_;
};

// DllGetClassObject + CreateInstance for the driver's CLSID; null when any step fails.
IASIO* createDriver(IUnknown* outer = nullptr);

// The object behind the interface, for setting up what init would have learned.
inline AsioVelmora& objectOf(IASIO* driver) { return *static_cast<AsioVelmora*>(driver); }

}  // namespace drivertest
