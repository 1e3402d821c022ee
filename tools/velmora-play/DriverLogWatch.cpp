#include "DriverLogWatch.h"

#include <string_view>

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

bool DriverLogWatch::listen() {
    try {
        auto socket = std::make_unique<TERNO::Socket>();
        TERNO::Address local{};
        if (!socket->open(TERNO::Socket::Udp6) || !local.parse("::1")) return false;
        local.port = TERNO::Address::toNetworkOrder(driverLogPort);
        if (!socket->bind(local) || !socket->setBlocking(false)) return false;
        socket_ = std::move(socket);
        return true;
    } catch (...) {
        return false;  // no network library: the count stays unknown
    }
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
        const std::string_view text(line, length);
        for (std::string_view underrun : underrunTexts)
            if (text.find(underrun) != std::string_view::npos) ++underruns_;
        constexpr std::string_view method = "localhost configTransfer ";
        if (const size_t at = text.find(method); at != std::string_view::npos) {
            std::string_view chosen = text.substr(at + method.size());
            while (!chosen.empty() && (chosen.back() == '\0' || chosen.back() == '\n' || chosen.back() == ' '))
                chosen.remove_suffix(1);
            profile_.assign(chosen);
        }
    }
    return underruns_;
}
