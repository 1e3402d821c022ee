// Sound files through libsndfile, converted to the driver's sample type.

#include <sndfile.h>

#include <vector>

#include "SignalSource.h"

namespace {

class FileSource : public SignalSource {
public:
    FileSource(SNDFILE* file, const SF_INFO& info, const HostLayout& layout)
        : file_(file), fileChannels_(static_cast<unsigned>(info.channels)), layout_(layout) {}
    ~FileSource() override { sf_close(file_); }

    bool fill(uint8_t* const* halves, size_t frames) override {
        frames_.assign(frames * fileChannels_, 0.0);
        const sf_count_t got = ended_ ? 0 : sf_readf_double(file_, frames_.data(), static_cast<sf_count_t>(frames));
        if (got < static_cast<sf_count_t>(frames)) ended_ = true;
        for (size_t i = 0; i < frames; ++i)
            for (unsigned c = 0; c < layout_.channels; ++c) {
                // Channels the file lacks repeat its last one.
                const double value = frames_[i * fileChannels_ + std::min(c, fileChannels_ - 1)];
                writePcmSample(layout_.type, value, halves[c] + i * layout_.sampleBytes);
            }
        return got > 0;
    }

private:
    SNDFILE* file_;
    unsigned fileChannels_;
    HostLayout layout_;
    std::vector<double> frames_;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<SignalSource> makeFileSource(const std::string& path, const HostLayout& layout, std::string& error) {
    if (layout.dsd) {
        error = "sound files play in PCM mode only";
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1) {
        sf_close(file);
        error = path + " has no channels";
        return nullptr;
    }
    return std::make_unique<FileSource>(file, info, layout);
}
