#include "DriverHarness.h"

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
    platform::writeFile(folder_ / "setting.inf", settingsText);
    activeSettingsFolder = folder_.path();
    AsioVelmora::setEnvironmentSource(&privateEnvironment);
    asio = createThroughFactory();
    if (!asio) {
        AsioVelmora::setEnvironmentSource(nullptr);
        throw std::runtime_error("the class factory made no driver");
    }
}

Driver::~Driver() {
    asio->Release();
    AsioVelmora::setEnvironmentSource(nullptr);
}

}  // namespace drivertest
