#include "AudioWriter.h"

#include <sndfile.h>

#include <array>
#include <cstring>

namespace sink {

using VELMORA::StreamFormat;

class AudioFile {
public:
    virtual ~AudioFile() = default;
    virtual void write(const uint8_t* data, size_t bytes) = 0;
    virtual void finish() = 0;
};

namespace {

uint8_t reverseBits(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Collects whole frames before handing them on, so containers never see half a sample.
class FrameAligner {
public:
    explicit FrameAligner(size_t frameBytes) : frame_(frameBytes) { partial_.reserve(frameBytes); }
    template <typename Sink>
    void feed(const uint8_t* data, size_t bytes, Sink&& sink) {
        while (bytes > 0 && !partial_.empty()) {
            partial_.push_back(*data++);
            --bytes;
            if (partial_.size() == frame_) {
                sink(partial_.data(), frame_);
                partial_.clear();
            }
        }
        const size_t whole = bytes / frame_ * frame_;
        if (whole > 0) sink(data, whole);
        partial_.insert(partial_.end(), data + whole, data + bytes);
    }

private:
    size_t frame_;
    std::vector<uint8_t> partial_;
};

// PCM through libsndfile. 8-bit samples become unsigned (WAV's 8-bit form); 64-bit integer
// containers keep their upper 32 bits, where the driver puts the sample.
class WavFile : public AudioFile {
public:
    WavFile(SNDFILE* file, StreamFormat format) : file_(file), format_(format), aligner_(format.frameBytes()) {}
    ~WavFile() override { finish(); }

    static std::unique_ptr<AudioFile> open(const std::string& path, StreamFormat format, std::string& error) {
        SF_INFO info{};
        info.samplerate = static_cast<int>(format.rate());
        info.channels = static_cast<int>(format.channels());
        int sub = 0;
        switch (format.value() & StreamFormat::typeMask) {
        case StreamFormat::typeInt8: sub = SF_FORMAT_PCM_U8; break;
        case StreamFormat::typeInt16: sub = SF_FORMAT_PCM_16; break;
        case StreamFormat::typeInt24: sub = SF_FORMAT_PCM_24; break;
        case StreamFormat::typeInt32:
        case StreamFormat::typeInt64: sub = SF_FORMAT_PCM_32; break;
        case StreamFormat::typeFloat32: sub = SF_FORMAT_FLOAT; break;
        case StreamFormat::typeFloat64: sub = SF_FORMAT_DOUBLE; break;
        default: error = "no WAV form for this PCM type"; return nullptr;
        }
        info.format = SF_FORMAT_WAV | sub;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!file) {
            error = std::string("cannot write ") + path + ": " + sf_strerror(nullptr);
            return nullptr;
        }
        return std::make_unique<WavFile>(file, format);
    }

    void write(const uint8_t* data, size_t bytes) override {
        aligner_.feed(data, bytes, [this](const uint8_t* frames, size_t n) { writeFrames(frames, n); });
    }
    void finish() override {
        if (file_) sf_close(file_);
        file_ = nullptr;
    }

private:
    void writeFrames(const uint8_t* frames, size_t n) {
        const uint64_t type = format_.value() & StreamFormat::typeMask;
        if (type != StreamFormat::typeInt8 && type != StreamFormat::typeInt64) {
            sf_write_raw(file_, frames, static_cast<sf_count_t>(n));
            return;
        }
        scratch_.clear();
        if (type == StreamFormat::typeInt8) {
            for (size_t i = 0; i < n; ++i) scratch_.push_back(static_cast<uint8_t>(frames[i] ^ 0x80));
        } else {
            for (size_t i = 0; i + 8 <= n; i += 8) scratch_.insert(scratch_.end(), frames + i + 4, frames + i + 8);
        }
        sf_write_raw(file_, scratch_.data(), static_cast<sf_count_t>(scratch_.size()));
    }

    SNDFILE* file_;
    StreamFormat format_;
    FrameAligner aligner_;
    std::vector<uint8_t> scratch_;
};

// Bytes as they came.
class RawFile : public AudioFile {
public:
    explicit RawFile(std::FILE* f) : f_(f) {}
    ~RawFile() override { finish(); }
    void write(const uint8_t* data, size_t bytes) override { std::fwrite(data, 1, bytes, f_); }
    void finish() override {
        if (f_) std::fclose(f_);
        f_ = nullptr;
    }

private:
    std::FILE* f_;
};

void putLe(std::FILE* f, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

// DSF: per-channel blocks of 4096 bytes, LSB-first bytes in time order.
class DsfFile : public AudioFile {
public:
    static constexpr size_t kBlock = 4096;
    static constexpr long kDataStart = 28 + 52 + 12;

    DsfFile(std::FILE* f, StreamFormat format)
        : f_(f), format_(format), channels_(format.channels()), aligner_(format.frameBytes()),
          blocks_(channels_, std::vector<uint8_t>()) {
        for (auto& b : blocks_) b.reserve(kBlock);
        std::vector<uint8_t> zeros(kDataStart, 0);
        std::fwrite(zeros.data(), 1, zeros.size(), f_);   // header written by finish()
    }
    ~DsfFile() override { finish(); }

    void write(const uint8_t* data, size_t bytes) override {
        aligner_.feed(data, bytes, [this](const uint8_t* frames, size_t n) {
            for (size_t at = 0; at < n; at += 4 * channels_) {
                for (uint32_t ch = 0; ch < channels_; ++ch) {
                    uint8_t out[4];
                    dsdWordToDsf(format_, frames + at + 4 * ch, out);
                    blocks_[ch].insert(blocks_[ch].end(), out, out + 4);
                }
                bytesPerChannel_ += 4;
                if (blocks_[0].size() == kBlock) flushBlocks();
            }
        });
    }

    void finish() override {
        if (!f_) return;
        if (!blocks_[0].empty()) flushBlocks();
        const uint64_t dataBytes = dataBlocks_ * kBlock * channels_;
        std::fseek(f_, 0, SEEK_SET);
        std::fwrite("DSD ", 1, 4, f_);
        putLe(f_, 28, 8);
        putLe(f_, kDataStart + dataBytes, 8);
        putLe(f_, 0, 8);   // no metadata
        std::fwrite("fmt ", 1, 4, f_);
        putLe(f_, 52, 8);
        putLe(f_, 1, 4);   // format version
        putLe(f_, 0, 4);   // DSD raw
        putLe(f_, channelType(), 4);
        putLe(f_, channels_, 4);
        putLe(f_, format_.rate(), 4);
        putLe(f_, 1, 4);   // LSB first
        putLe(f_, bytesPerChannel_ * 8, 8);
        putLe(f_, kBlock, 4);
        putLe(f_, 0, 4);
        std::fwrite("data", 1, 4, f_);
        putLe(f_, 12 + dataBytes, 8);
        std::fclose(f_);
        f_ = nullptr;
    }

private:
    uint32_t channelType() const {
        switch (channels_) {
        case 1: return 1;
        case 2: return 2;
        case 4: return 4;
        case 6: return 7;   // 5.1
        default: return 2;
        }
    }
    void flushBlocks() {
        for (auto& b : blocks_) {
            b.resize(kBlock, 0);
            std::fwrite(b.data(), 1, b.size(), f_);
            b.clear();
        }
        ++dataBlocks_;
    }

    std::FILE* f_;
    StreamFormat format_;
    uint32_t channels_;
    FrameAligner aligner_;
    std::vector<std::vector<uint8_t>> blocks_;
    uint64_t bytesPerChannel_ = 0;
    uint64_t dataBlocks_ = 0;
};

bool endsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

void dsdWordToDsf(StreamFormat format, const uint8_t* word, uint8_t* out) {
    const bool lsbFirst = (format.value() & StreamFormat::dsdLsbFirst) != 0;
    const bool little = (format.value() & StreamFormat::dsdLittleEndian) != 0;
    // The byte holding the earliest samples: the word's least significant byte for LSB
    // first, its most significant byte for MSB first.
    const bool forward = lsbFirst == little;
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = word[forward ? i : 3 - i];
        out[i] = lsbFirst ? b : reverseBits(b);
    }
}

AudioWriter::AudioWriter(std::string wavPath, std::string dsdPath, std::string rawPath)
    : wavPath_(std::move(wavPath)), dsdPath_(std::move(dsdPath)), rawPath_(std::move(rawPath)) {}

AudioWriter::~AudioWriter() { end(); }

bool AudioWriter::begin(StreamFormat format) {
    if (audio_) audio_->finish();
    audio_.reset();
    if (!rawPath_.empty() && !raw_) {
        raw_ = std::fopen(rawPath_.c_str(), "wb");
        if (!raw_) {
            error_ = "cannot write " + rawPath_;
            return false;
        }
    }
    if (format.isPcm() && !wavPath_.empty()) {
        audio_ = WavFile::open(wavPath_, format, error_);
        if (!audio_) return false;
    } else if (format.isDsd() && !dsdPath_.empty()) {
        std::FILE* f = std::fopen(dsdPath_.c_str(), "wb");
        if (!f) {
            error_ = "cannot write " + dsdPath_;
            return false;
        }
        const bool dsf = endsWith(dsdPath_, ".dsf") && format.channels() <= 6;
        if (dsf) audio_ = std::make_unique<DsfFile>(f, format);
        else audio_ = std::make_unique<RawFile>(f);
    }
    return true;
}

void AudioWriter::write(std::span<const uint8_t> bytes) {
    bytes_ += bytes.size();
    if (raw_) {
        std::fwrite(bytes.data(), 1, bytes.size(), raw_);
        std::fflush(raw_);
    }
    if (audio_) audio_->write(bytes.data(), bytes.size());
}

void AudioWriter::end() {
    if (raw_) std::fclose(raw_);
    raw_ = nullptr;
    if (audio_) audio_->finish();
    audio_.reset();
}

}  // namespace sink
