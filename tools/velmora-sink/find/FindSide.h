#pragma once
// The Find side of a sink program: takes its --find* options out of the command line
// before the rest is parsed, and runs a FindResponder beside the Sync side.

#include <memory>
#include <string>
#include <vector>

#include "FindOptions.h"
#include "FindResponder.h"

namespace sink {

class FindSide {
public:
    // Removes the Find options from args (argv[0] first). "--find" switches the side on;
    // every other --find-* option implies it. False with a message on a bad value.
    bool takeOptions(std::vector<std::string>& args, std::string& error);
    bool enabled() const { return enabled_; }

    // Starts answering; without --find-output the one output is the sink's own Sync port.
    // While `muted` says true (the Sync side's injected silence) nothing is answered.
    bool start(uint16_t syncPort, std::function<bool()> muted, std::string& error);
    void stop();

    const FindResponderConfig& config() const { return config_; }

private:
    bool enabled_ = false;
    FindResponderConfig config_;
    std::unique_ptr<FindResponder> responder_;
};

}  // namespace sink
