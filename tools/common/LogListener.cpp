#include "common/LogListener.h"

#include "platform/Net.h"
#include "terno/Address.h"

std::unique_ptr<TERNO::Socket> listenForDriverLog(uint16_t port) {
    try {
        auto socket = std::make_unique<TERNO::Socket>();
        TERNO::Address local{};
        if (!socket->open(TERNO::Socket::Udp6) || !local.parse("::1")) return nullptr;
        local.setPortNumber(port);
        socket->receiveSize = 4096;
        if (!platform::setNetOption(socket->handle, platform::NetOption::ReuseAddress, 0) || !socket->bind(local) ||
            !socket->setBlocking(false))
            return nullptr;
        return socket;
    } catch (...) {
        return nullptr;   // no network library
    }
}
