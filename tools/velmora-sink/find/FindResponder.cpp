#include "FindResponder.h"

#include "Capture.h"

#include <cstring>

#include "find/FindFrame.h"
#include "find/FindProtocol.h"
#include "find/ProductTag.h"
#include "terno/Message.h"

namespace sink {

using namespace VELMORA::FindProtocol;

bool productTagFromText(const std::string& text, uint64_t& tag) {
    if (text == "0") {
        tag = 0;
        return true;
    }
    if (text.size() != 8) return false;
    tag = VELMORA::productTagOf(text);
    return true;
}

bool parseFindOutput(const std::string& text, FindOutput& output) {
    const size_t first = text.find(':');
    const std::string portText = text.substr(0, first);
    std::string versionText = "1";
    std::string name;
    if (first != std::string::npos) {
        const size_t second = text.find(':', first + 1);
        versionText = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (second != std::string::npos) name = text.substr(second + 1);
    }
    auto number = [](const std::string& digits, uint16_t& value) {
        if (digits.empty() || digits.size() > 5) return false;
        uint32_t n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            n = n * 10 + static_cast<uint32_t>(c - '0');
        }
        if (n > 65535) return false;
        value = static_cast<uint16_t>(n);
        return true;
    };
    FindOutput parsed;
    if (!number(portText, parsed.port) || !number(versionText, parsed.version)) return false;
    parsed.name = name;
    output = parsed;
    return true;
}

FindResponder::FindResponder(FindResponderConfig config) : config_(std::move(config)) {}

FindResponder::~FindResponder() { stop(); }

bool FindResponder::open() {
    if (!socket_.open(TERNO::Socket::Kind::Udp6)) return false;
    TERNO::Address any{};
    any.setPortNumber(config_.port);
    if (!socket_.bind(any)) {
        socket_.close();
        return false;
    }
    return true;
}

namespace {

bool isFindRequest(uint16_t command) {
    return command == FIND_REQ || command == OUTPUT_REQ || command == INFO_REQ ||
           command == FINDNAME_REQ || command == NOPBREAK_REQ;
}

void copyFrame(TERNO::Message& message, std::vector<uint8_t>& reply) {
    message.commitHeader();
    reply.assign(message.frame, message.frame + message.frameSize);
}

}  // namespace

bool FindResponder::answer(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply) {
    reply.clear();
    if (config_.muted && config_.muted()) return false;
    if (!TERNO::Message::isValidFrame(request.data(), request.size())) return false;
    TERNO::Message message;
    switch (VELMORA::frameCommand(request)) {
    case FIND_REQ:
        message.setHeader(FIND_ANS, config_.productTag);
        message.changeFlags(0, flagPositive);
        message.setPayload(config_.description);
        break;
    case OUTPUT_REQ: {
        const uint16_t index = VELMORA::frameU16(request, offsetParam0);
        const uint16_t count = static_cast<uint16_t>(config_.outputs.size());
        if (index == 0) {
            message.setHeader(OUTPUT_ANS, flagPositive, count, 0, 0, 0);
        } else if (index <= count) {
            const FindOutput& output = config_.outputs[index - 1u];
            message.setHeader(OUTPUT_ANS, flagPositive, index, 0, output.port, output.version);
            message.setPayload(output.name);
        } else {
            message.setHeader(OUTPUT_ANS, flagPositive, index, 0, 0, 0);  // port 0: no such output
        }
        break;
    }
    case INFO_REQ:
        if (!config_.answerInfo) return false;
        message.setHeader(INFO_ANS, flagPositive);
        message.setPayload(config_.infoText);
        break;
    case FINDNAME_REQ: {
        const std::string clientName = VELMORA::framePayloadText(request);
        {
            std::lock_guard<std::mutex> lock(nameLock_);
            clientName_ = clientName;
        }
        message.setHeader(FINDNAME_ANS, flagPositive);
        break;
    }
    case NOPBREAK_REQ:
        message.setHeader(NOPBREAK_ANS, config_.refuseNopBreak ? flagPositive : uint16_t{0});
        break;
    default:
        return false;
    }
    copyFrame(message, reply);
    return true;
}

void FindResponder::run() {
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
    TERNO::Address from{};
    while (!stopping_.load(std::memory_order_acquire)) {
        const TERNO::WaitResult wait = socket_.waitReadable(20'000);
        if (wait == TERNO::WaitResult::Error) break;
        if (wait != TERNO::WaitResult::Ready) continue;
        socket_.receiveFrom(request, from);
        if (request.empty()) continue;
        capture("find", true, request);
        if (!TERNO::Message::isValidFrame(request.data(), request.size())) continue;
        if (!isFindRequest(VELMORA::frameCommand(request))) {
            if (other_) other_(request, from, socket_);
            continue;
        }
        if (!answer(request, reply)) continue;
        capture("find", false, reply);
        if (socket_.sendTo(reply.data(), static_cast<uint32_t>(reply.size()), from, true))
            answered_.fetch_add(1, std::memory_order_relaxed);
    }
}

bool FindResponder::start() {
    if (!open()) return false;
    stopping_.store(false, std::memory_order_release);
    thread_ = std::thread([this] { run(); });
    return true;
}

void FindResponder::stop() {
    stopping_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    socket_.close();
}

std::string FindResponder::clientName() const {
    std::lock_guard<std::mutex> lock(nameLock_);
    return clientName_;
}

}  // namespace sink
