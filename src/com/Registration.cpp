#include "com/Registration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "platform/AnsiText.h"

namespace com {
namespace {

using platform::RegistryRoot;

constexpr std::size_t maxModulePath = 360;
// What the check reads back: 360 characters take more bytes in a multi-byte code page.
constexpr std::size_t longestRegisteredPath = 4 * maxModulePath;
constexpr std::size_t maxClassIdBytes = 100;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string join(const std::string& a, const std::string& b) { return a + "\\" + b; }

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

const std::string asioKey = join("SOFTWARE", "ASIO");
const std::string driverKey = join(asioKey, driverRegistryName);
std::string classKeyOf(const RegistrationInputs& in) { return join("CLSID", in.classIdText); }
std::string serverKeyOf(const RegistrationInputs& in) { return join(classKeyOf(in), "InprocServer32"); }

bool ensureKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    return platform::registryKeyExists(root, join(parent, name)) || platform::registryCreateKey(root, parent, name);
}

}  // namespace

std::variant<int, RegistrationInputs> registrationInputs(const void* moduleHandle, const std::string& modulePath,
                                                         const CLSID& clsid) {
    if (!moduleHandle) return noModuleHandle;
    if (modulePath.empty() || characterCount(modulePath) > maxModulePath ||
        !platform::toAnsi(std::string_view(modulePath), SIZE_MAX))
        return noModulePath;
    std::array<std::uint8_t, 16> bytes;
    std::memcpy(bytes.data(), &clsid, bytes.size());
    const auto wide = platform::classIdText(bytes);
    if (!wide) return noClassIdText;
    const auto ansi = platform::toAnsi(*wide, maxClassIdBytes);
    if (!ansi) return noAnsiClassIdText;
    return RegistrationInputs{lowerCase(modulePath), *ansi};
}

int deleteKeyRecursive(RegistryRoot root, const std::string& path, const std::string& name) {
    const std::string full = join(path, name);
    if (!platform::registryKeyExists(root, full)) return -1;
    for (const std::string& child : platform::registrySubKeys(root, full)) deleteKeyRecursive(root, full, child);
    return platform::registryDeleteKey(root, path, name) ? 0 : -1;
}

int registerServer(const RegistrationInputs& in) {
    const std::string classKey = classKeyOf(in);
    const std::string serverKey = serverKeyOf(in);

    bool classEntryCurrent = false;
    if (platform::registryKeyExists(RegistryRoot::ClassesRoot, classKey)) {
        const auto registered =
            platform::registryGetString(RegistryRoot::ClassesRoot, serverKey, "", maxModulePath);
        classEntryCurrent = registered && lowerCase(*registered) == in.modulePath;
        if (!classEntryCurrent) deleteKeyRecursive(RegistryRoot::ClassesRoot, "CLSID", in.classIdText);
    }
    if (!classEntryCurrent) {
        ensureKey(RegistryRoot::ClassesRoot, "CLSID", in.classIdText);
        platform::registrySetString(RegistryRoot::ClassesRoot, classKey, "", driverRegistryName);
        ensureKey(RegistryRoot::ClassesRoot, classKey, "InprocServer32");
        platform::registrySetString(RegistryRoot::ClassesRoot, serverKey, "", in.modulePath);
        platform::registrySetString(RegistryRoot::ClassesRoot, serverKey, "ThreadingModel", "Apartment");
    }

    if (!platform::registryKeyExists(RegistryRoot::LocalMachine, asioKey))
        platform::registryCreateKey(RegistryRoot::LocalMachine, "SOFTWARE", "ASIO");
    else if (platform::registryKeyExists(RegistryRoot::LocalMachine, join(asioKey, driverRegistryName)))
        deleteKeyRecursive(RegistryRoot::LocalMachine, asioKey, driverRegistryName);

    ensureKey(RegistryRoot::LocalMachine, asioKey, driverRegistryName);
    platform::registrySetString(RegistryRoot::LocalMachine, driverKey, "CLSID", in.classIdText);
    platform::registrySetString(RegistryRoot::LocalMachine, driverKey, "Description", driverRegistryName);
    return 0;
}

int unregisterServer(const RegistrationInputs& in) {
    if (platform::registryKeyExists(RegistryRoot::ClassesRoot, classKeyOf(in)))
        deleteKeyRecursive(RegistryRoot::ClassesRoot, "CLSID", in.classIdText);
    if (platform::registryKeyExists(RegistryRoot::LocalMachine, asioKey) &&
        platform::registryKeyExists(RegistryRoot::LocalMachine, driverKey))
        deleteKeyRecursive(RegistryRoot::LocalMachine, asioKey, driverRegistryName);
    return 0;
}

HRESULT registrationOutcome(const RegistrationInputs& in, bool registered) {
    bool done;
    if (registered) {
        const auto server = platform::registryGetString(RegistryRoot::ClassesRoot, serverKeyOf(in), "", longestRegisteredPath);
        const auto classId = platform::registryGetString(RegistryRoot::LocalMachine, driverKey, "CLSID", maxClassIdBytes);
        done = server && lowerCase(*server) == in.modulePath && classId == in.classIdText;
    } else {
        done = !platform::registryKeyExists(RegistryRoot::ClassesRoot, classKeyOf(in)) &&
               !platform::registryKeyExists(RegistryRoot::LocalMachine, driverKey);
    }
    if (done) return 0;
    const bool denied = platform::registryWriteDenied(RegistryRoot::ClassesRoot, serverKeyOf(in)) ||
                        platform::registryWriteDenied(RegistryRoot::LocalMachine, driverKey);
    return denied ? accessDenied : selfRegClassError;
}

}  // namespace com
