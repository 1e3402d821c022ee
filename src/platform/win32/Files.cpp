#include "platform/Files.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "platform/Module.h"
#include "platform/win32/WideText.h"

namespace platform {
namespace {

// Paths reach the file system as UTF-16 of at most MAX_PATH units, terminator included.
bool toWidePath(const std::string& path, std::wstring& wide) {
    wchar_t buffer[MAX_PATH];
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, buffer, MAX_PATH);
    if (units <= 0) return false;
    wide.assign(buffer, static_cast<size_t>(units - 1));
    return true;
}

DWORD attributesOf(const std::string& path) {
    std::wstring wide;
    if (!toWidePath(path, wide)) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(wide.c_str());
}

}  // namespace

std::string nativePath(std::string_view path) { return std::string(path); }

std::string appDataFolder() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return win32::toUtf8(folder);
}

std::string moduleFolder() { return folderOf(modulePath()); }

std::optional<std::string> readFile(const std::string& path) {
    std::wstring wide;
    if (!toWidePath(path, wide)) return std::nullopt;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    std::optional<std::string> result;
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0) {
        std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
        size_t done = 0;
        while (done < bytes.size()) {
            const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(file, bytes.data() + done, want, &got, nullptr) || got == 0) break;
            done += got;
        }
        if (done == bytes.size()) result = std::move(bytes);
    }
    CloseHandle(file);
    return result;
}

bool writeFile(const std::string& path, std::string_view bytes) {
    // The bytes go to a file beside the target that then takes its place, so a failed write
    // never leaves the target half written.
    std::wstring target, scratch;
    if (!toWidePath(path, target) || !toWidePath(path + ".new", scratch)) return false;
    HANDLE file = CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, want, &put, nullptr) || put == 0) break;
        done += put;
    }
    const bool written = done == bytes.size() && FlushFileBuffers(file);
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed ||
        !MoveFileExW(scratch.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(scratch.c_str());
        return false;
    }
    return true;
}

bool folderExists(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool fileExists(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool createFolder(const std::string& path) {
    // Each prefix that ends before a separator is a parent that may be missing; prefixes that
    // cannot be created (drive names, shares) are left to the final check.
    for (size_t at = path.find_first_of("\\/", 1); at != std::string::npos; at = path.find_first_of("\\/", at + 1)) {
        std::wstring parent;
        if (toWidePath(path.substr(0, at), parent)) CreateDirectoryW(parent.c_str(), nullptr);
    }
    std::wstring wide;
    if (toWidePath(path, wide)) CreateDirectoryW(wide.c_str(), nullptr);
    return folderExists(path);
}

bool removeFile(const std::string& path) {
    std::wstring wide;
    return fileExists(path) && toWidePath(path, wide) && DeleteFileW(wide.c_str());
}

}  // namespace platform
