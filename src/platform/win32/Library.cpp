#include "platform/Library.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace platform {

bool SharedLibrary::open(const std::string& path) {
    close();
    const std::optional<std::wstring> wide = win32::fromUtf8(path);
    handle_ = wide ? LoadLibraryW(wide->c_str()) : nullptr;
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
