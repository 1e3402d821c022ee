#include "platform/Console.h"

#include <windows.h>

namespace platform {

namespace {
HANDLE handleOf(StandardStream stream) {
    return GetStdHandle(stream == StandardStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
}  // namespace

bool isTerminal(StandardStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

bool enableEscapeSequences(StandardStream stream) {
    const HANDLE handle = handleOf(stream);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    constexpr DWORD virtualTerminal = 0x0004;   // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    return (mode & virtualTerminal) != 0 || SetConsoleMode(handle, mode | virtualTerminal) != 0;
}

int terminalColumns(StandardStream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(handleOf(stream), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace platform
