#include "DriverLogWatch.h"

#include <string_view>

#include "common/LogListener.h"
#include "log/LogHeader.h"
#include "terno/Address.h"
#include "terno/Socket.h"

namespace {

constexpr uint16_t driverLogPort = 19640;

// What the driver logs when the host's blocks do not arrive in time: the ring ran empty
// (silence went out instead), or the worker found no block at all.
constexpr std::string_view underrunTexts[] = {"SyncBuffer not enough mute data return", "buffer timeout"};

}  // namespace

DriverLogWatch::DriverLogWatch() = default;
DriverLogWatch::~DriverLogWatch() = default;

bool DriverLogWatch::listen(const std::string& copyPath) {
    if (!copyPath.empty()) copy_.open(copyPath, std::ios::app);
    socket_ = listenForDriverLog(driverLogPort);
    return socket_ != nullptr;
}

bool DriverLogWatch::listening() const { return socket_ != nullptr; }

uint64_t DriverLogWatch::poll() {
    if (!socket_) return underruns_;
    char line[2048];
    for (;;) {
        uint32_t length = 0;
        TERNO::Address from{};
        socket_->receiveFrom(line, sizeof line, length, from);
        if (length == 0) break;
        ++lines_;
        std::string_view text(line, length);
        while (!text.empty() && (text.back() == '\0' || text.back() == '\n')) text.remove_suffix(1);
        if (copy_.is_open()) copy_ << text << '\n';
        const std::string_view message = logheader::split(text).message;
        for (std::string_view underrun : underrunTexts)
            if (message.substr(0, underrun.size()) == underrun) ++underruns_;
        constexpr std::string_view method = "configTransfer ";
        if (message.substr(0, method.size()) == method) {
            std::string_view chosen = message.substr(method.size());
            while (!chosen.empty() && chosen.back() == ' ') chosen.remove_suffix(1);
            profile_.assign(chosen);
        }
        if (VELMORA::CounterValues values{}; VELMORA::parseCounterLine(message, values)) {
            previous_ = counters_;
            counters_ = values;
        }
    }
    return underruns_;
}
