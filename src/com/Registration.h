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
    std::string modulePath;   // lower case, UTF-8 (the registry seam writes it in the ANSI code page)
    std::string classIdText;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
};

// The inputs of both operations, in order; a RegistrationError when one cannot be had.
// moduleHandle and modulePath are those of the loaded module (null/empty when unknown). A path
// longer than 360 characters, or one that the ANSI code page cannot spell exactly, is no
// usable path: the registry would name a file that does not exist.
std::variant<int, RegistrationInputs> registrationInputs(const void* moduleHandle, const std::string& modulePath,
                                                         const CLSID& clsid);

int registerServer(const RegistrationInputs& inputs);
int unregisterServer(const RegistrationInputs& inputs);

// Deletes root\path\name with all its subkeys, deepest first. 0 when something was deleted, else -1.
int deleteKeyRecursive(platform::RegistryRoot root, const std::string& path, const std::string& name);

inline constexpr HRESULT selfRegClassError = static_cast<HRESULT>(0x80040201u);   // SELFREG_E_CLASS
inline constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005u);        // E_ACCESSDENIED

// The exports' result when a routine failed on its inputs: SELFREG_E_CLASS, so that regsvr32
// and installers report a registration that did not happen.
inline HRESULT exportResult(int routineResult) { return routineResult == 0 ? 0 : selfRegClassError; }

// What the exports return once their routine ran (which reports no registry failure): S_OK
// when the registry now says what it should (registered: the class entry names this module
// and the ASIO driver entry names the class; unregistered: neither entry is left); otherwise
// E_ACCESSDENIED when writing there is refused for lack of rights, else SELFREG_E_CLASS.
HRESULT registrationOutcome(const RegistrationInputs& inputs, bool registered);

}  // namespace com
