#include "log/LogCapture.h"

#include <algorithm>

#include "log/LogLine.h"
#include "log/LogSink.h"

namespace logtest {

LogCapture::LogCapture(int level, uint16_t port) {
    TERNO::Address local{};
    if (!local.parse("::1")) return;
    local.setPortNumber(port);
    if (!listener_.open(TERNO::Socket::Kind::Udp6) || !listener_.bind(local)) return;
    listener_.receiveSize = 4096;
    sink_ = std::make_shared<LogSink>();
    sink_->setFacility(LogSink::driverFacility);
    if (!sink_->open(local.portNumber())) return;
    installLogSink(sink_);
    setLogLevel(level);
    ok_ = true;
}

LogCapture::~LogCapture() {
    setLogLevel(-1);
    installLogSink(nullptr);
}

void LogCapture::setLevel(int level) { setLogLevel(level); }

void LogCapture::reset(int level) {
    receive(0);
    lines_.clear();
    datagrams_.clear();
    setLogLevel(level);
}

std::vector<std::string> LogCapture::lines() {
    receive(200'000);
    return lines_;
}

std::vector<std::string> LogCapture::datagrams() {
    receive(200'000);
    return datagrams_;
}

void LogCapture::receive(uint32_t firstWaitUs) {
    std::vector<uint8_t> datagram;
    TERNO::Address from{};
    for (uint32_t waitUs = firstWaitUs; listener_.waitReadable(waitUs) == TERNO::WaitResult::Ready; waitUs = 20'000) {
        listener_.receiveFrom(datagram, from);
        std::string line(datagram.begin(), datagram.end());
        datagrams_.push_back(line);
        sender_ = from.toString();
        // "<pri>Mmm dd hh:mm:ss host text": the text follows the fourth blank.
        size_t at = 0;
        for (int blanks = 0; blanks < 4 && at != std::string::npos; ++blanks) {
            at = line.find(' ', at);
            if (at != std::string::npos) ++at;
        }
        lines_.push_back(at == std::string::npos ? line : line.substr(at));
    }
}

bool LogCapture::contains(std::string_view text) {
    const std::vector<std::string> all = lines();
    return std::any_of(all.begin(), all.end(), [&](const std::string& line) { return line.find(text) != line.npos; });
}

}  // namespace logtest
