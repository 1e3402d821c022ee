#include "platform/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {
int descriptor(StandardStream stream) { return stream == StandardStream::output ? STDOUT_FILENO : STDERR_FILENO; }
}  // namespace

bool isTerminal(StandardStream stream) { return isatty(descriptor(stream)) == 1; }

bool enableEscapeSequences(StandardStream stream) { return isTerminal(stream); }

int terminalColumns(StandardStream stream) {
    winsize size{};
    if (ioctl(descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

}  // namespace platform
