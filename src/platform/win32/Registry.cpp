#include "platform/Registry.h"

#include <windows.h>

namespace platform {
namespace {

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

class OpenKey {
public:
    OpenKey(RegistryRoot root, const std::string& path, REGSAM access) {
        if (RegOpenKeyExA(rootKey(root), path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

bool registryKeyExists(RegistryRoot root, const std::string& path) {
    return static_cast<bool>(OpenKey(root, path, KEY_READ));
}

bool registryCreateKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    OpenKey parentKey(root, parent, KEY_ALL_ACCESS);
    if (!parentKey) return false;
    HKEY created = nullptr;
    if (RegCreateKeyA(parentKey.get(), name.c_str(), &created) != ERROR_SUCCESS) return false;
    RegCloseKey(created);
    return true;
}

bool registryDeleteKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    OpenKey parentKey(root, parent, KEY_ALL_ACCESS);
    return parentKey && RegDeleteKeyA(parentKey.get(), name.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> registrySubKeys(RegistryRoot root, const std::string& path) {
    std::vector<std::string> names;
    OpenKey key(root, path, KEY_READ);
    if (!key) return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

bool registrySetString(RegistryRoot root, const std::string& path, const std::string& valueName,
                       const std::string& data) {
    OpenKey key(root, path, KEY_ALL_ACCESS);
    if (!key) return false;
    // The data length is the text's length without its terminator.
    return RegSetValueExA(key.get(), valueName.empty() ? nullptr : valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::optional<std::string> registryGetString(RegistryRoot root, const std::string& path,
                                             const std::string& valueName, std::size_t maxBytes) {
    OpenKey key(root, path, KEY_READ);
    if (!key) return std::nullopt;
    const char* name = valueName.empty() ? nullptr : valueName.c_str();
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ || size > maxBytes) return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

}  // namespace platform
