#include "platform/Library.h"

#include <windows.h>

namespace platform {

bool SharedLibrary::open(const std::string& path) {
    close();
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    handle_ = LoadLibraryW(wide.c_str());
    if (!handle_) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError()) + " for " + path;
    return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

void SharedLibrary::close() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

}  // namespace platform
