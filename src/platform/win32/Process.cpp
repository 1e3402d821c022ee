#include "platform/Process.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {
namespace {

std::wstring toWide(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 1) return {};
    std::wstring out(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), units);
    out.pop_back();   // the terminator
    return out;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// blanks or quotes, backslashes doubled before a quote.
void appendArgument(std::wstring& line, const std::wstring& argument) {
    if (!line.empty()) line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

}  // namespace

ChildProcess::~ChildProcess() { release(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

bool ChildProcess::launch(const std::string& program, const std::vector<std::string>& arguments) {
    if (handle_ != 0) return false;
    const std::wstring file = toWide(program);
    std::wstring parameters;
    for (const std::string& argument : arguments) appendArgument(parameters, toWide(argument));

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = nullptr;   // the default verb
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || reinterpret_cast<INT_PTR>(info.hInstApp) <= 32 || !info.hProcess) {
        if (info.hProcess) CloseHandle(info.hProcess);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(info.hProcess);
    return true;
}

int ChildProcess::wait() {
    if (handle_ == 0) return -1;
    HANDLE process = reinterpret_cast<HANDLE>(handle_);
    handle_ = 0;
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ended ? static_cast<int>(code) : -1;
}

void ChildProcess::release() {
    if (handle_ != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = 0;
    }
}

}  // namespace platform
