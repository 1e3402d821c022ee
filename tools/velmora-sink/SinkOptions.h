#pragma once
// Command line and configuration file of the reference sink.

#include "SinkConfig.h"

#include <string>
#include <vector>

namespace sink {

struct ParseResult {
    bool ok = false;        // run the sink with the parsed configuration
    int exitCode = 0;       // when !ok: 0 after --help, non-zero after an error
    std::string message;    // help text or error, for the caller to print
};

// Fills config from the arguments (argv[0] is the program name). A --config file in INI or
// TOML form supplies the same keys as the long options.
ParseResult parseOptions(const std::vector<std::string>& args, SinkConfig& config);

}  // namespace sink
