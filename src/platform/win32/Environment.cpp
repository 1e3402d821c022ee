#include "platform/Environment.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

std::optional<std::string> getEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

// Both the C runtime's copy (getenv) and the process block (child processes) are updated.
bool setEnvironment(const std::string& name, const std::string& value) {
    const bool runtime = _putenv_s(name.c_str(), value.c_str()) == 0;
    const bool process = SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str()) != 0;
    return runtime && process;
}

}  // namespace platform
