#pragma once
// The terminal behind standard output or standard error: whether there is one, how wide it
// is, and switching on the escape sequences that colour text and redraw a line in place.

namespace platform {

enum class StandardStream { output, error };

// True when the stream goes to a terminal (a console on Windows), not to a file or a pipe.
bool isTerminal(StandardStream stream);

// Lets the terminal interpret ANSI escape sequences (colours, erase line). POSIX terminals
// always do; a Windows console has to be asked. False when it cannot.
bool enableEscapeSequences(StandardStream stream);

// Width of the terminal in columns, or 0 when unknown (no terminal).
int terminalColumns(StandardStream stream);

}  // namespace platform
