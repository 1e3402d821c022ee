#include "DriverLoader.h"

#include <cstdio>

#include "platform/ComActivation.h"
#include "platform/Registry.h"

namespace {

bool parseClassId(const std::string& text, CLSID& clsid) {
    unsigned d[11];
    if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                    &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
        return false;
    clsid.Data1 = d[0];
    clsid.Data2 = static_cast<uint16_t>(d[1]);
    clsid.Data3 = static_cast<uint16_t>(d[2]);
    for (int i = 0; i < 8; ++i) clsid.Data4[i] = static_cast<uint8_t>(d[3 + i]);
    return true;
}

}  // namespace

DriverLoader::~DriverLoader() {
    if (comStarted_) platform::endRegisteredObjects();
}

IASIO* DriverLoader::createRegistered(const std::string& driverName) {
    const auto clsid = platform::registryGetString(platform::RegistryRoot::LocalMachine,
                                                   "SOFTWARE\\ASIO\\" + driverName, "CLSID", 128);
    if (!clsid) {
        error_ = "no ASIO driver named \"" + driverName + "\" is registered (HKLM\\SOFTWARE\\ASIO)";
        return nullptr;
    }
    comStarted_ = true;
    return static_cast<IASIO*>(platform::createRegisteredObject(*clsid, error_));
}

IASIO* DriverLoader::createFromModule(const std::string& modulePath, const std::string& clsidText) {
    // Loaded once: a host that restarts the driver keeps the module (as COM does).
    if (!module_.isOpen() && !module_.open(modulePath)) {
        error_ = module_.error();
        return nullptr;
    }
    using GetClassObject = HRESULT(VELMORA_STDCALL*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObject>(module_.symbol("DllGetClassObject"));
    CLSID clsid{};
    if (!getClassObject || !parseClassId(clsidText, clsid)) {
        error_ = modulePath + " is not an ASIO driver module (no DllGetClassObject)";
        return nullptr;
    }
    void* factory = nullptr;
    if (getClassObject(clsid, IID_IClassFactory, &factory) != 0 || !factory) {
        error_ = "DllGetClassObject refused the driver's class";
        return nullptr;
    }
    void* driver = nullptr;
    const HRESULT hr = static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, clsid, &driver);
    static_cast<IClassFactory*>(factory)->Release();
    if (hr != 0 || !driver) {
        error_ = "CreateInstance failed";
        return nullptr;
    }
    return static_cast<IASIO*>(driver);
}
