// velmora-logdemo: listens on [::1]:19640 as a syslog receiver would, switches the process log
// on (level 6), logs "start done" through a driver log sink and prints the datagram received.
// When port 19640 is taken, the listener takes a free port and the sink is aimed at that.

#include "log/LogLine.h"
#include "log/LogSink.h"
#include "terno/Socket.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

bool listenOn(TERNO::Socket& socket, TERNO::Address& address, uint16_t port) {
    address = TERNO::Address{};
    address.parse("::1");
    address.setPortNumber(port);
    socket.receiveSize = 4096;
    return socket.open(TERNO::Socket::Udp6) && socket.bind(address);
}

}  // namespace

int main() {
    try {
        TERNO::Socket listener;
        TERNO::Address local;
        std::shared_ptr<LogSink> sink;
        if (listenOn(listener, local, LogSink::defaultPort)) {
            sink = LogSink::create();
        } else if (listenOn(listener, local, 0)) {
            std::printf("[::1]:%u is taken by another listener; using [::1]:%u instead\n", LogSink::defaultPort,
                        local.portNumber());
            sink = std::make_shared<LogSink>();
            sink->setFacility(LogSink::driverFacility);
            sink->open(local.portNumber());
            installLogSink(sink);
        } else {
            std::fprintf(stderr, "cannot listen on [::1]\n");
            return 1;
        }
        if (!sink->isOpen()) {
            std::fprintf(stderr, "the log sink could not open its socket\n");
            return 1;
        }
        std::printf("listening on [::1]:%u, log level 6\n", local.portNumber());

        setLogLevel(6);
        LogLine(6) << "start done";

        if (listener.waitReadable(TERNO::fromSeconds(2)) != TERNO::WaitResult::Ready) {
            std::fprintf(stderr, "no log datagram arrived within 2 s\n");
            return 1;
        }
        std::vector<uint8_t> datagram;
        TERNO::Address from;
        listener.receiveFrom(datagram, from);
        std::printf("received %zu bytes from [%s]:%u:\n%s\n", datagram.size(), from.toString().c_str(),
                    from.portNumber(), std::string(datagram.begin(), datagram.end()).c_str());
        std::printf("(streaming to a sink comes later)\n");
        return 0;
    } catch (const TERNO::Err&) {
        return 1;   // the network start-up failure has been reported on standard error
    }
}
