#include "platform/Registry.h"

#include <windows.h>

#include "platform/AnsiText.h"

namespace platform {
namespace {

// Registry names and values are at most this long in the narrow form, terminator included.
constexpr std::size_t longestText = 16384;

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

class OpenKey {
public:
    OpenKey(RegistryRoot root, const std::string& path, REGSAM access) {
        const auto narrow = toAnsi(path, longestText);
        status_ = narrow ? RegOpenKeyExA(rootKey(root), narrow->c_str(), 0, access, &key_) : ERROR_INVALID_NAME;
        if (status_ != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }
    LONG status() const { return status_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
    LONG status_ = ERROR_SUCCESS;
};

}  // namespace

bool registryKeyExists(RegistryRoot root, const std::string& path) {
    return static_cast<bool>(OpenKey(root, path, KEY_READ));
}

bool registryCreateKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    OpenKey parentKey(root, parent, KEY_ALL_ACCESS);
    const auto narrow = toAnsi(name, longestText);
    if (!parentKey || !narrow) return false;
    HKEY created = nullptr;
    if (RegCreateKeyA(parentKey.get(), narrow->c_str(), &created) != ERROR_SUCCESS) return false;
    RegCloseKey(created);
    return true;
}

bool registryDeleteKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    OpenKey parentKey(root, parent, KEY_ALL_ACCESS);
    const auto narrow = toAnsi(name, longestText);
    return parentKey && narrow && RegDeleteKeyA(parentKey.get(), narrow->c_str()) == ERROR_SUCCESS;
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
        names.push_back(fromAnsi(std::string_view(name, length)));
    }
    return names;
}

bool registrySetString(RegistryRoot root, const std::string& path, const std::string& valueName,
                       const std::string& data) {
    OpenKey key(root, path, KEY_ALL_ACCESS);
    const auto name = toAnsi(valueName, longestText);
    const auto text = toAnsi(data, longestText);
    if (!key || !name || !text) return false;
    // The data length is the text's length without its terminator.
    return RegSetValueExA(key.get(), name->empty() ? nullptr : name->c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text->c_str()),
                          static_cast<DWORD>(text->size())) == ERROR_SUCCESS;
}

std::optional<std::string> registryGetString(RegistryRoot root, const std::string& path,
                                             const std::string& valueName, std::size_t maxBytes) {
    OpenKey key(root, path, KEY_READ);
    const auto narrowName = toAnsi(valueName, longestText);
    if (!key || !narrowName) return std::nullopt;
    const char* name = narrowName->empty() ? nullptr : narrowName->c_str();
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ || size > maxBytes) return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return fromAnsi(data);
}

bool registryWriteDenied(RegistryRoot root, const std::string& path) {
    for (std::string key = path;;) {
        const OpenKey readable(root, key, KEY_READ);
        if (readable) return OpenKey(root, key, KEY_WRITE).status() == ERROR_ACCESS_DENIED;
        if (readable.status() == ERROR_ACCESS_DENIED) return true;
        const std::size_t cut = key.rfind('\\');
        if (cut == std::string::npos) return false;
        key.resize(cut);
    }
}

}  // namespace platform
