// The module's exports. Nothing thrown inside ever leaves through them.

#include <new>

#include "com/ModuleClasses.h"
#include "com/Registration.h"
#include "find/FinderObject.h"
#include "platform/Module.h"

namespace com {
void moduleAttach(bool loading) {
    for (const ClassTableEntry& entry : moduleClassTable())
        if (entry.init) entry.init(loading, entry.clsid);
}
}  // namespace com

namespace {
constexpr HRESULT unexpectedFailure = static_cast<HRESULT>(0x8000FFFFu);   // E_UNEXPECTED

template <typename Routine>
HRESULT registration(Routine routine) noexcept {
    try {
        const auto inputs = com::registrationInputs(platform::moduleHandle(), platform::modulePath(),
                                                    *com::moduleClassTable().front().clsid);
        if (const int* error = std::get_if<int>(&inputs)) return com::exportResult(*error);
        return com::exportResult(routine(std::get<com::RegistrationInputs>(inputs)));
    } catch (...) {
        return com::exportResult(-1);
    }
}
}  // namespace

extern "C" {

HRESULT VELMORA_STDCALL DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
    try {
        return com::getClassObject(com::moduleClassTable(), rclsid, riid, ppv);
    } catch (...) {
        return unexpectedFailure;
    }
}

HRESULT VELMORA_STDCALL DllCanUnloadNow() noexcept { return com::canUnloadNow(); }

HRESULT VELMORA_STDCALL DllRegisterServer() noexcept { return registration(com::registerServer); }

HRESULT VELMORA_STDCALL DllUnregisterServer() noexcept { return registration(com::unregisterServer); }

// For setup tools: a finder over the same discovery the driver runs. The caller deletes it.
VELMORA::asio_velmora_find_call* DllVelmorafind() noexcept {
    try {
        return new (std::nothrow) asio_velmora_find();
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
