// The Windows build carries no sound-file library: files play through the Linux build.

#include "SignalSource.h"

std::unique_ptr<SignalSource> makeFileSource(const std::string& path, const HostLayout&, std::string& error) {
    error = "cannot play " + path + ": the Windows build plays the counter, sine and sweep signals only";
    return nullptr;
}
