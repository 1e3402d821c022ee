// Test helper: exit_helper [OUT STATUS [ARGS...]] writes ARGS to the file OUT (one per line,
// unless OUT is empty) and exits with STATUS. Without arguments it stands in for the settings
// program that controlPanel launches: it copies the file named by $VELMORA_PANEL_SOURCE over
// $VELMORA_PANEL_TARGET when both are set, as a user saving new settings would, and exits.
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 3) {
        const char* source = std::getenv("VELMORA_PANEL_SOURCE");
        const char* target = std::getenv("VELMORA_PANEL_TARGET");
        if (!source || !target) return 0;
        std::error_code error;
        std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
        return error ? 1 : 0;
    }
    if (argv[1][0] != '\0') {
        std::ofstream out(argv[1], std::ios::binary);
        for (int i = 3; i < argc; ++i) out << argv[i] << '\n';
    }
    return std::atoi(argv[2]);
}
