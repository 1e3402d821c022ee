#include "find/LogCapture.h"

#include <algorithm>

#include "log/LogLine.h"
#include "log/LogSink.h"

namespace findtest {

LogCapture::LogCapture() {
    TERNO::Address local{};
    if (!local.parse("::1") || !listener_.open(TERNO::Socket::Kind::Udp6) || !listener_.bind(local)) return;
    listener_.receiveSize = 4096;
    sink_ = std::make_shared<LogSink>();
    sink_->setFacility(LogSink::driverFacility);
    if (!sink_->open(local.portNumber())) return;
    installLogSink(sink_);
    setLogLevel(7);
    ok_ = true;
}

LogCapture::~LogCapture() {
    setLogLevel(-1);
    installLogSink(nullptr);
}

std::vector<std::string> LogCapture::lines() {
    std::vector<uint8_t> datagram;
    TERNO::Address from{};
    for (uint32_t waitUs = 200'000; listener_.waitReadable(waitUs) == TERNO::WaitResult::Ready; waitUs = 20'000) {
        listener_.receiveFrom(datagram, from);
        std::string line(datagram.begin(), datagram.end());
        // "<pri>Mmm dd hh:mm:ss host text": the text follows the fourth blank.
        size_t at = 0;
        for (int blanks = 0; blanks < 4 && at != std::string::npos; ++blanks) {
            at = line.find(' ', at);
            if (at != std::string::npos) ++at;
        }
        lines_.push_back(at == std::string::npos ? line : line.substr(at));
    }
    return lines_;
}

bool LogCapture::contains(std::string_view text) {
    const std::vector<std::string> all = lines();
    return std::any_of(all.begin(), all.end(), [&](const std::string& line) { return line.find(text) != line.npos; });
}

}  // namespace findtest
