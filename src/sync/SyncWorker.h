#pragma once
// The streaming part of the Sync worker thread: opening handshake, paced loop of
// data packets with resends and clock feedback, final packet and closing
// handshake. Runs on the worker thread after the thread-mode prologue; returns
// when the stream has ended (the caller then sets the state to 0).

namespace VELMORA {

class Sync;

void runStreamingWorker(Sync& session);

}  // namespace VELMORA
