#include "DriverHarness.h"

#include <atomic>
#include <chrono>
#include <fstream>

#include "com/ClassFactory.h"
#include "com/ModuleClasses.h"

namespace drivertest {
namespace {

std::string activeSettingsFolder;

SettingsEnvironment privateEnvironment() {
    SettingsEnvironment environment;
    environment.settingsFolder = activeSettingsFolder;
    // No factory files: the folder beside the settings holds none.
    environment.moduleFolder = activeSettingsFolder + "/module/";
    environment.coreCount = [] { return uint32_t{4}; };
    return environment;
}

}  // namespace

PrivateFolder::PrivateFolder() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("velmora-driver-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
}

PrivateFolder::~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

PrivateSettings::PrivateSettings(const std::string& settingsText) {
    std::ofstream(folder_.path() / "setting.inf", std::ios::binary) << settingsText;
    activeSettingsFolder = folder_.path().string();
    AsioVelmora::setEnvironmentSource(&privateEnvironment);
}

PrivateSettings::~PrivateSettings() { AsioVelmora::setEnvironmentSource(nullptr); }

std::string PrivateSettings::settingsFile() const { return (folder_.path() / "setting.inf").string(); }

IASIO* createDriver(IUnknown* outer) {
    void* factoryPointer = nullptr;
    if (com::getClassObject(com::moduleClassTable(), CLSID_AsioVelmora, IID_IClassFactory, &factoryPointer) !=
        com::resultOk)
        return nullptr;
    auto* factory = static_cast<IClassFactory*>(factoryPointer);
    void* object = nullptr;
    const HRESULT result = factory->CreateInstance(outer, CLSID_AsioVelmora, &object);
    factory->Release();
    return result == com::resultOk ? static_cast<IASIO*>(object) : nullptr;
}

}  // namespace drivertest
