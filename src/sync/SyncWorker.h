#pragma once
// The streaming part of the Sync worker thread: opening handshake, paced loop of
// data packets with resends and clock feedback, final packet and closing
// handshake. Runs on the worker thread after the thread-mode prologue; returns
// when the stream has ended, with the reason when it ended by itself (the caller
// then sets the state to 0).

#include <cstdint>

namespace VELMORA {

class Sync;
enum class StreamEnd : uint32_t;

StreamEnd runStreamingWorker(Sync& session);

}  // namespace VELMORA
