#include "DriverHarness.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "com/ClassFactory.h"
#include "com/ModuleClasses.h"

namespace drivertest {
namespace {

std::string activeSettingsFolder;

SettingsEnvironment privateEnvironment() {
    SettingsEnvironment environment;
    environment.settingsFolder = activeSettingsFolder;
    environment.moduleFolder = activeSettingsFolder + "/module/";   // holds no factory files
    environment.coreCount = [] { return uint32_t{4}; };
    return environment;
}

IASIO* createThroughFactory() {
    void* factory = nullptr;
    if (com::getClassObject(com::moduleClassTable(), CLSID_AsioVelmora, IID_IClassFactory, &factory) != com::resultOk)
        return nullptr;
    void* object = nullptr;
    const HRESULT result = static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, CLSID_AsioVelmora, &object);
    static_cast<IClassFactory*>(factory)->Release();
    return result == com::resultOk ? static_cast<IASIO*>(object) : nullptr;
}

}  // namespace

Driver::Driver(const std::string& settingsText) {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    folder_ = std::filesystem::temp_directory_path() /
              ("velmora-driver-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "setting.inf", std::ios::binary) << settingsText;
    activeSettingsFolder = folder_.string();
    AsioVelmora::setEnvironmentSource(&privateEnvironment);
    asio = createThroughFactory();
    if (!asio) {
        AsioVelmora::setEnvironmentSource(nullptr);
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("the class factory made no driver");
    }
}

Driver::~Driver() {
    asio->Release();
    AsioVelmora::setEnvironmentSource(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace drivertest
