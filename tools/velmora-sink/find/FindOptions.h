#pragma once
// Command-line options of the sink's Find side, shared by every program that runs a
// FindResponder.

#include <string>
#include <vector>

#include "FindResponder.h"

namespace CLI {
class App;
}

namespace sink {

struct FindOptionTexts {
    std::string product = "PALUDRIN";   // "0" or an 8-character word
    std::vector<std::string> outputs;   // PORT[:VERSION[:NAME]]
    bool noInfo = false;
};

// Adds --find-product, --find-description, --find-info, --find-no-info,
// --find-refuse-nopbreak, --find-output and --find-port to app.
void addFindOptions(CLI::App& app, FindResponderConfig& config, FindOptionTexts& texts);

// Completes config from the texts after parsing; false with a message on a bad value.
bool finishFindOptions(const FindOptionTexts& texts, FindResponderConfig& config, std::string& error);

}  // namespace sink
