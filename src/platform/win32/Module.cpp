#include "platform/Module.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WideText.h"

namespace platform {
namespace {
int anchor;
// The longest path the system hands out (the extended-length limit).
constexpr DWORD longestPath = 32768;
}  // namespace

const void* moduleHandle() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
        return nullptr;
    return module;
}

std::string modulePath() {
    const auto module = static_cast<HMODULE>(const_cast<void*>(moduleHandle()));
    if (!module) return {};
    // A path that fills the buffer was cut: retry with a larger one.
    for (DWORD size = MAX_PATH; size <= longestPath; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(module, path.data(), size);
        if (length == 0) return {};
        if (length < size) return win32::toUtf8(std::wstring_view(path.data(), length));
    }
    return {};
}

}  // namespace platform
