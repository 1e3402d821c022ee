#include "SinkFarm.h"

#include "TestNet.h"
#include "find/ProductTag.h"

namespace testnet {

SinkFarm::~SinkFarm() { stopAll(); }

sink::FindResponder* SinkFarm::start(size_t sink, sink::FindResponderConfig config) {
    const std::vector<std::string> namespaces = sinkNamespaces();
    if (sink < 1 || sink > namespaces.size()) return nullptr;
    auto responder = std::make_unique<sink::FindResponder>(std::move(config));
    bool started = false;
    if (!inNamespace(namespaces[sink - 1], [&] { started = responder->start(); }) || !started) return nullptr;
    responders_.push_back(std::move(responder));
    return responders_.back().get();
}

findtest::FakeSink* SinkFarm::startFake(size_t sink, findtest::Script script) {
    const std::vector<std::string> namespaces = sinkNamespaces();
    if (sink < 1 || sink > namespaces.size()) return nullptr;
    std::unique_ptr<findtest::FakeSink> fake;
    if (!inNamespace(namespaces[sink - 1], [&] {
            fake = std::make_unique<findtest::FakeSink>(std::move(script), "::", 19642);
        }) || !fake || !fake->ok())
        return nullptr;
    fakes_.push_back(std::move(fake));
    return fakes_.back().get();
}

void SinkFarm::stopAll() {
    for (auto& responder : responders_) responder->stop();
    responders_.clear();
    fakes_.clear();
}

sink::FindResponderConfig plainSink(const std::string& description, size_t outputs) {
    sink::FindResponderConfig config;
    config.productTag = VELMORA::productTagOf("PALUDRIN");
    config.description = description;
    config.infoText = "http://[myaddress]/" + description;
    for (size_t i = 1; i <= outputs; ++i)
        config.outputs.push_back({static_cast<uint16_t>(5000 + i), 1, "Out" + std::to_string(i)});
    return config;
}

}  // namespace testnet
