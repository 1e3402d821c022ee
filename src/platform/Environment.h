#pragma once
// Process environment variables.

#include <optional>
#include <string>

namespace platform {

std::optional<std::string> getEnvironment(const std::string& name);
// Sets (or, with an empty value, removes) a variable for this process and the programs it starts.
bool setEnvironment(const std::string& name, const std::string& value);

}  // namespace platform
