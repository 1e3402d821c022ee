#pragma once
// VELMORA::Find: the client side of the Find protocol. It finds the sinks on the local
// links (multicast to ff02::1 on each interface, plus configured unicast addresses),
// tells them our name, and asks them for their outputs and texts. Every exchange is
// bounded by its own time limit; nothing here blocks longer than that.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "find/FindFrame.h"
#include "find/FindProtocol.h"
#include "find/Target.h"
#include "terno/Address.h"
#include "terno/Message.h"
#include "terno/Socket.h"

namespace VELMORA {

struct FindParams {
    uint64_t productFilter = 0;  // tag found sinks must carry; 0 accepts every sink
    uint16_t maxVersion = 0;     // highest accepted output version; 0 accepts every version
    std::string name;            // our name, sent to every found sink
    bool nopBreak = false;       // probe with NOPBREAK_REQ before each output query
};

enum class FindAckResult : uint32_t {
    Answered = 0,  // positive answer from exactly the address asked
    Failed = 1,    // could not send, or a wait failed
    NoAnswer = 2,  // nothing usable within the exchange time limit
    Refused = 3,   // the awaited answer command with flags bit 0 clear, from any source
    Echoed = 4,    // our own request command came back
};

struct FoundSink {
    uint64_t productTag = 0;
    std::string description;
};

class Find {
public:
    explicit Find(const FindParams& params);
    ~Find();
    Find(const Find&) = delete;
    Find& operator=(const Find&) = delete;

    // Chooses the interfaces (0: all with a link-local address) and opens the socket.
    bool open(uint16_t interfaceIndex);
    bool openAll();
    bool openOn(const std::vector<TERNO::Address>& localAddresses);
    void close();

    // One request/answer exchange with one sink, sent once, bounded by 100 ms (a sink that
    // keeps sending other datagrams cannot stretch it). answer receives the frame on
    // Answered and Refused, and is empty otherwise.
    FindAckResult sendAck(const TERNO::Address& to, const TERNO::MessageHeader& request,
                          uint16_t answerCommand, FindFrame& answer);
    // One multicast pass: per interface, FIND_REQ to ff02::1 and to every extra
    // destination, then 30 ms of collecting find answers, keyed by their source.
    bool findMulti(const TERNO::MessageHeader& request,
                   std::map<TERNO::Address, FindFrame>& answers);
    uint64_t filterProduct(uint64_t tag);
    bool sendName(const TERNO::Address& to);
    // Three passes, our name to every answering sink, then the product filter.
    bool find(std::map<TERNO::Address, FoundSink>& found);

    bool getOutputCount(const TERNO::Address& to, uint16_t& count);
    bool getOutput(const TERNO::Address& to, uint16_t index, TERNO::Address& streamAddress,
                   uint16_t& version, std::string& outputName);
    FindAckResult getInfoText(const TERNO::Address& to, std::string& text);
    FindAckResult getDescription(const TERNO::Address& to, std::string& text);

    // Target operations built on the exchanges above.
    bool getTargetList(TargetMap& targets);
    // One found sink's part of getTargetList: its name, output count, information text
    // and outputs, within sinkTimeLimitUs.
    bool addSinkTargets(const TERNO::Address& sink, const std::string& description, TargetMap& targets);
    bool getTarget(const TERNO::Address& address, uint16_t outputIndex,
                   TERNO::Address& streamAddress, Target& target);

    // Copied from FindParams.
    uint64_t productFilter;
    uint16_t maxVersion;
    std::string name;
    bool nopBreak;

    std::vector<TERNO::Address> interfaces;         // one link-local address per interface
    std::vector<TERNO::Address> extraDestinations;  // unicast addresses (with port) per pass
    // What one sink may cost getTargetList: a sink that claims 65,535 outputs and then
    // falls silent would otherwise hold init for 65,535 x 100 ms.
    uint32_t sinkTimeLimitUs = 5000000;
    TERNO::Socket socket;

private:
    bool probeNopBreak(const TERNO::Address& to);
    // Microseconds left of limit since start (wrap-around arithmetic), 0 when used up.
    static uint32_t timeLeft(uint32_t start, uint32_t limit);
};

}  // namespace VELMORA
