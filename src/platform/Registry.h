#pragma once
// The system registry through narrow-character (ANSI) calls. Paths use backslashes. Names
// and texts are UTF-8 here and are converted to the ANSI code page at the call (AnsiText.h);
// a text that has no exact ANSI form fails the call, so no value ever names a look-alike.
// On Windows these are the real registry functions; elsewhere the registry is a folder tree
// (one folder per key, one file per value) under $VELMORA_REGISTRY_DIR, by default
// $XDG_DATA_HOME/velmora/registry.

#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { ClassesRoot, LocalMachine };

// True when root\path can be opened.
bool registryKeyExists(RegistryRoot root, const std::string& path);

// Creates the key name under root\parent, which must exist. True when it exists afterwards.
bool registryCreateKey(RegistryRoot root, const std::string& parent, const std::string& name);

// Deletes root\parent\name, which must have no subkeys.
bool registryDeleteKey(RegistryRoot root, const std::string& parent, const std::string& name);

// The names of the direct subkeys of root\path (empty when it does not open).
std::vector<std::string> registrySubKeys(RegistryRoot root, const std::string& path);

// A REG_SZ value; an empty value name is the key's default value.
bool registrySetString(RegistryRoot root, const std::string& path, const std::string& valueName,
                       const std::string& data);

// Reads a string value of at most maxBytes bytes (terminator included); nothing when missing,
// of another size or not readable.
std::optional<std::string> registryGetString(RegistryRoot root, const std::string& path,
                                             const std::string& valueName, std::size_t maxBytes);

// True when writing at root\path, or where that key does not exist yet at its nearest existing
// parent, is refused for lack of rights (a user who is not an administrator, under
// HKEY_LOCAL_MACHINE).
bool registryWriteDenied(RegistryRoot root, const std::string& path);

}  // namespace platform
