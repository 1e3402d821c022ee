// Test helper: exit_helper [OUT STATUS [ARGS...]] writes ARGS to the file OUT (one per line,
// unless OUT is empty) and exits with STATUS.
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 3) return 0;
    if (argv[1][0] != '\0') {
        std::ofstream out(argv[1], std::ios::binary);
        for (int i = 3; i < argc; ++i) out << argv[i] << '\n';
    }
    return std::atoi(argv[2]);
}
