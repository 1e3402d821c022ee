#pragma once
// Files and folders by UTF-8 path.
//
// Paths inside the system are UTF-8 and may use "\" (the Windows separator, which the
// settings code composes with) or "/" as separators. The Windows backend converts a path to
// UTF-16 only at the file-system call; the POSIX backend turns "\" into "/" there, so a "\"
// can never be part of a file name on POSIX.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The user's roaming application-data folder in UTF-8, without a trailing separator
// (Windows: the shell folder CSIDL_APPDATA; POSIX: $XDG_CONFIG_HOME, else $HOME/.config).
// Empty when the system cannot say.
std::string appDataFolder();

// The folder of the module (DLL, shared object or program) that contains this code, ending
// in a separator; empty when it cannot be had.
std::string moduleFolder();

// The part of path up to and including its last separator ("\" or "/"); empty when the path
// holds none.
std::string folderOf(std::string_view path);

// The path as the system writes it (POSIX: every "\" becomes "/"; Windows: unchanged).
std::string nativePath(std::string_view path);

// Reads a whole file in binary. Nothing when it cannot be opened, sized or fully read.
std::optional<std::string> readFile(const std::string& path);

// Creates or truncates a file and writes bytes to it in binary. False on any failure (a
// partly written file may then remain).
bool writeFile(const std::string& path, std::string_view bytes);

// Creates a folder and any missing parents. True when the folder exists afterwards.
bool createFolder(const std::string& path);

bool fileExists(const std::string& path);     // an existing regular file
bool folderExists(const std::string& path);   // an existing folder

// Removes a file (not a folder). True when it existed and is gone.
bool removeFile(const std::string& path);

}  // namespace platform
