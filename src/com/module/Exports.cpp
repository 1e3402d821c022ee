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

// Runs one registration routine, then tells regsvr32 whether the registry now says what it
// should: the routine itself reports only failures of its inputs.
template <typename Routine>
HRESULT registration(Routine routine, bool registering) noexcept {
    try {
        const auto inputs = com::registrationInputs(platform::moduleHandle(), platform::modulePath(),
                                                    *com::moduleClassTable().front().clsid);
        if (const int* error = std::get_if<int>(&inputs)) return com::exportResult(*error);
        const auto& in = std::get<com::RegistrationInputs>(inputs);
        if (const int result = routine(in); result != 0) return com::exportResult(result);
        return com::registrationOutcome(in, registering);
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

HRESULT VELMORA_STDCALL DllRegisterServer() noexcept { return registration(com::registerServer, true); }

HRESULT VELMORA_STDCALL DllUnregisterServer() noexcept { return registration(com::unregisterServer, false); }

// For setup tools: a finder over the same discovery the driver runs. The caller deletes it.
VELMORA::asio_velmora_find_call* DllVelmorafind() noexcept {
    try {
        return new (std::nothrow) asio_velmora_find();
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
