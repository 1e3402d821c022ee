#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

fs::path registryFolder() {
    if (const char* dir = std::getenv("VELMORA_REGISTRY_DIR"); dir && *dir) return dir;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return fs::path(data) / "velmora" / "registry";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "velmora" / "registry";
}

// A fresh Windows registry already has these keys; so does the stand-in on first use.
void ensurePredefinedKeys(const fs::path& base) {
    std::error_code ec;
    fs::create_directories(base / "HKEY_CLASSES_ROOT" / "CLSID", ec);
    fs::create_directories(base / "HKEY_LOCAL_MACHINE" / "SOFTWARE", ec);
}

fs::path keyFolder(RegistryRoot root, const std::string& path) {
    const fs::path base = registryFolder();
    ensurePredefinedKeys(base);
    fs::path folder = base / (root == RegistryRoot::ClassesRoot ? "HKEY_CLASSES_ROOT"
                                                                           : "HKEY_LOCAL_MACHINE");
    std::stringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '\\'))
        if (!part.empty()) folder /= part;
    return folder;
}

// Values live beside the subkey folders as files "=name" ("=" alone for the default value),
// which cannot clash with a key name.
fs::path valueFile(RegistryRoot root, const std::string& path, const std::string& valueName) {
    return keyFolder(root, path) / ("=" + valueName);
}

bool isValueFile(const fs::directory_entry& entry) {
    return entry.path().filename().string().starts_with("=");
}

}  // namespace

bool registryKeyExists(RegistryRoot root, const std::string& path) {
    std::error_code ec;
    return fs::is_directory(keyFolder(root, path), ec);
}

bool registryCreateKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    if (!registryKeyExists(root, parent) || name.empty()) return false;
    std::error_code ec;
    fs::create_directory(keyFolder(root, parent) / name, ec);
    return registryKeyExists(root, parent + "\\" + name);
}

bool registryDeleteKey(RegistryRoot root, const std::string& parent, const std::string& name) {
    const fs::path folder = keyFolder(root, parent + "\\" + name);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return false;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (!isValueFile(entry)) return false;
    return fs::remove_all(folder, ec) > 0 && !ec;
}

std::vector<std::string> registrySubKeys(RegistryRoot root, const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(keyFolder(root, path), ec))
        if (!isValueFile(entry) && entry.is_directory(ec)) names.push_back(entry.path().filename().string());
    return names;
}

bool registrySetString(RegistryRoot root, const std::string& path, const std::string& valueName,
                       const std::string& data) {
    if (!registryKeyExists(root, path)) return false;
    std::ofstream out(valueFile(root, path, valueName), std::ios::binary | std::ios::trunc);
    out << data;
    return static_cast<bool>(out);
}

std::optional<std::string> registryGetString(RegistryRoot root, const std::string& path,
                                             const std::string& valueName, std::size_t maxBytes) {
    std::ifstream in(valueFile(root, path, valueName), std::ios::binary);
    if (!in) return std::nullopt;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() + 1 > maxBytes) return std::nullopt;
    return data;
}

bool registryWriteDenied(RegistryRoot root, const std::string& path) {
    std::error_code ec;
    fs::path folder = keyFolder(root, path);
    while (!fs::is_directory(folder, ec) && folder.has_relative_path()) folder = folder.parent_path();
    return access(folder.c_str(), W_OK) != 0 && errno == EACCES;
}

}  // namespace platform
