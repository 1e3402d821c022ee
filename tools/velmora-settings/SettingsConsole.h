#pragma once
// What velmora-settings prints, and its interactive mode.

#include <iosfwd>
#include <string>

#include "SettingsEditor.h"

// Every key of the section with its value in the file, default and accepted values; then the
// notes on how the driver reads the file.
void printSettings(const SettingsEditor& editor, bool lowSection, std::ostream& out);

// Reads the settings exactly as the driver does and lists what it would not take as written:
// a settings file it cannot read at all, and every value of DriverSettings::problems. Returns
// the exit status: 0 when there is nothing to list, 1 otherwise.
int checkSettings(const SettingsEnvironment& environment, std::ostream& out);

// Every key of the key table as a Markdown table: the key table of docs/user-guide.md.
std::string keyTableMarkdown();

// Reads commands from in until "quit" or the end of the input. Returns the exit status.
int runInteractive(SettingsEditor& editor, std::istream& in, std::ostream& out);
