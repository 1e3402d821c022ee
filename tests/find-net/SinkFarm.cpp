#include "SinkFarm.h"

#include "TestNet.h"
#include "find/ProductTag.h"

namespace testnet {

SinkFarm::~SinkFarm() { stopAll(); }

namespace {

// Runs make in the namespace of sink (1-based); false when there is no such namespace.
bool inSinkNamespace(size_t sink, const std::function<void()>& make) {
    const std::vector<std::string> namespaces = sinkNamespaces();
    return sink >= 1 && sink <= namespaces.size() && inNamespace(namespaces[sink - 1], make);
}

}  // namespace

sink::FindResponder* SinkFarm::start(size_t sink, sink::FindResponderConfig config) {
    auto responder = std::make_unique<sink::FindResponder>(std::move(config));
    bool started = false;
    if (!inSinkNamespace(sink, [&] { started = responder->start(); }) || !started) return nullptr;
    return responders_.emplace_back(std::move(responder)).get();
}

findtest::FakeSink* SinkFarm::startFake(size_t sink, findtest::Script script) {
    std::unique_ptr<findtest::FakeSink> fake;
    if (!inSinkNamespace(sink, [&] { fake = std::make_unique<findtest::FakeSink>(std::move(script), "::", 19642); }) ||
        !fake->ok())
        return nullptr;
    return fakes_.emplace_back(std::move(fake)).get();
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
