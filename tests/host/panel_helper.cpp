// Test helper standing in for the settings program that controlPanel launches (without
// arguments): copies the file named by $VELMORA_PANEL_SOURCE over $VELMORA_PANEL_TARGET when
// both are set, as a user saving new settings would, and exits.
#include <cstdlib>
#include <filesystem>

int main() {
    const char* source = std::getenv("VELMORA_PANEL_SOURCE");
    const char* target = std::getenv("VELMORA_PANEL_TARGET");
    if (!source || !target) return 0;
    std::error_code error;
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
    return error ? 1 : 0;
}
