#pragma once
// Sinks for the discovery tests: Find responders (or scripted fakes) running inside the
// sink namespaces of the test network, stopped when the farm goes.

#include <memory>
#include <string>
#include <vector>

#include "find/FakeSink.h"
#include "find/FindResponder.h"

namespace testnet {

class SinkFarm {
public:
    ~SinkFarm();
    // A responder in the namespace of sink (1-based); null when it could not start.
    sink::FindResponder* start(size_t sink, sink::FindResponderConfig config);
    // A scripted fake on [::]:19642 in the namespace of sink.
    findtest::FakeSink* startFake(size_t sink, findtest::Script script);
    void stopAll();

private:
    std::vector<std::unique_ptr<sink::FindResponder>> responders_;
    std::vector<std::unique_ptr<findtest::FakeSink>> fakes_;
};

// The usual sink: tag PALUDRIN, description, info text with the placeholder, outputs on
// ports 5001, 5002, ... named "Out1", "Out2", ... of version 1.
sink::FindResponderConfig plainSink(const std::string& description, size_t outputs);

}  // namespace testnet
