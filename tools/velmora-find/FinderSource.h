#pragma once
// Where velmora-find gets the driver's finder object: from a driver module's DllVelmorafind
// (on Windows by default the registered ASIOVelmora.dll, as a setup tool does), or from the
// same code linked into the tool (the default elsewhere).

#include <string>

#include "find/FinderObject.h"
#include "platform/Library.h"

class FinderSource {
public:
    FinderSource() = default;
    ~FinderSource();
    FinderSource(const FinderSource&) = delete;
    FinderSource& operator=(const FinderSource&) = delete;

    // Loads modulePath and asks it for a finder; false with error() set when that fails.
    bool openModule(const std::string& modulePath);
    // The platform's default source (see above).
    bool openDefault();

    VELMORA::asio_velmora_find_call* finder() const { return finder_; }
    // Where the finder came from, for messages: a module path or "linked in".
    const std::string& origin() const { return origin_; }
    const std::string& error() const { return error_; }

private:
    platform::SharedLibrary module_;   // outlives finder_, whose code it holds
    VELMORA::asio_velmora_find_call* finder_ = nullptr;
    std::string origin_;
    std::string error_;
};
