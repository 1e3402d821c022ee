#pragma once
// The sink's side of discovery: answers Find requests on UDP port 19642 of every interface
// (the all-nodes group ff02::1 included) with the sink's product tag, description,
// outputs and information text. One sink may offer several outputs, each a Sync endpoint
// on its own port.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "terno/Address.h"
#include "terno/Socket.h"

namespace sink {

struct FindOutput {
    uint16_t port = 0;      // the output's Sync port
    uint16_t version = 1;   // Find protocol version of the output
    std::string name;
};

struct FindResponderConfig {
    uint16_t port = 19642;
    uint64_t productTag = 0;        // tag carried by find answers; see productTagFromText
    std::string description = "Velmora reference sink";
    std::string infoText;           // may hold "[myaddress]", replaced by the client
    bool answerInfo = true;         // false: INFO_REQ stays unanswered
    bool refuseNopBreak = false;    // true: NOPBREAK_REQ gets a positive answer (refusal)
    std::function<bool()> muted;    // while it says true, nothing is answered
    std::vector<FindOutput> outputs;
};

// "0" gives tag 0 (a sink without product); an 8-character word gives its little-endian
// packing; anything else fails.
bool productTagFromText(const std::string& text, uint64_t& tag);

// Parses "PORT[:VERSION[:NAME]]" into an output.
bool parseFindOutput(const std::string& text, FindOutput& output);

class FindResponder {
public:
    explicit FindResponder(FindResponderConfig config);
    ~FindResponder();
    FindResponder(const FindResponder&) = delete;
    FindResponder& operator=(const FindResponder&) = delete;

    // Binds [::]:port. On the calling thread, so that the socket lives in that thread's
    // network namespace.
    bool open();
    // Answers requests until stop() (checked at least every 20 ms).
    void run();
    // open() and run() on a thread of its own.
    bool start();
    void stop();

    // Datagrams that are not Find requests (for example the Sync side's log request on the
    // same port) go here, with the socket to answer through.
    using OtherHandler = std::function<void(const std::vector<uint8_t>&, const TERNO::Address&, TERNO::Socket&)>;
    void setOtherHandler(OtherHandler handler) { other_ = std::move(handler); }

    // The last client name announced with FINDNAME_REQ, and how many requests were answered.
    std::string clientName() const;
    uint32_t answered() const { return answered_.load(std::memory_order_relaxed); }

    // Builds the answer to one request; false when the request gets no answer.
    bool answer(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply);

private:
    FindResponderConfig config_;
    TERNO::Socket socket_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint32_t> answered_{0};
    mutable std::mutex nameLock_;
    std::string clientName_;
    OtherHandler other_;
};

}  // namespace sink
