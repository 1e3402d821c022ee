#pragma once
// Writes the received stream to files: PCM as WAV (libsndfile), DSD as DSF or as the raw
// bytes, and, for bit-exact checks, every payload byte in sequence order. The raw file holds
// every stream of the run one after the other and is flushed with each write, so that it
// keeps everything that arrived even when the sink is killed; the WAV and DSD files hold
// the last stream.

#include "sync/StreamFormat.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sink {

class AudioFile;   // one audio container (WAV or DSF or raw)

class AudioWriter {
public:
    AudioWriter(std::string wavPath, std::string dsdPath, std::string rawPath);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Opens the files for one stream (the raw file only for the first); false (with
    // error()) when a file cannot be made.
    bool begin(VELMORA::StreamFormat format);
    void write(std::span<const uint8_t> bytes);
    // Completes the containers (sizes, last blocks) and closes everything.
    void end();

    const std::string& error() const { return error_; }
    uint64_t bytesWritten() const { return bytes_; }

private:
    std::string wavPath_, dsdPath_, rawPath_;
    std::FILE* raw_ = nullptr;
    std::unique_ptr<AudioFile> audio_;
    uint64_t bytes_ = 0;
    std::string error_;
};

// Reorders one DSD frame word (4 bytes of one channel in the wire layout) into the time
// order of DSF: bytes in time order, the first sample in bit 0 of each byte.
void dsdWordToDsf(VELMORA::StreamFormat format, const uint8_t* word, uint8_t* out);

}  // namespace sink
