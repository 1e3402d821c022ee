#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> getEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return (value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1)) == 0;
}

}  // namespace platform
