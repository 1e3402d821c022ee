#pragma once
// Self-registration: the COM class entry under HKEY_CLASSES_ROOT\CLSID and the ASIO driver entry
// under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO that hosts enumerate.

#include <string>
#include <variant>

#include "com/ComTypes.h"
#include "platform/Registry.h"

namespace com {

inline constexpr const char* driverRegistryName = "TOLVENIK Velmora";

// Failures while computing the inputs; registry failures are not reported.
enum RegistrationError : int {
    noModuleHandle = -101,
    noModulePath = -102,
    noClassIdText = -103,
    noAnsiClassIdText = -104,
};

struct RegistrationInputs {
    std::string modulePath;   // lower case
    std::string classIdText;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
};

// The inputs of both operations, in order; a RegistrationError when one cannot be had.
// moduleHandle and modulePath are those of the loaded module (null/empty when unknown).
std::variant<int, RegistrationInputs> registrationInputs(const void* moduleHandle, const std::string& modulePath,
                                                         const CLSID& clsid);

int registerServer(const RegistrationInputs& inputs);
int unregisterServer(const RegistrationInputs& inputs);

// Deletes root\path\name with all its subkeys, deepest first. 0 when something was deleted, else -1.
int deleteKeyRecursive(platform::RegistryRoot root, const std::string& path, const std::string& name);

// The exports' result: S_OK when the routine gave 0, else SELFREG_E_CLASS, so that regsvr32 and
// installers report a registration that did not happen.
inline HRESULT exportResult(int routineResult) {
    return routineResult == 0 ? 0 : static_cast<HRESULT>(0x80040201u);
}

}  // namespace com
