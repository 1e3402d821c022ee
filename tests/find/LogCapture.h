#pragma once
// Catches the process log for a test: a listener on [::1] (any free port), a log sink aimed
// at it made the process-wide one, and the level raised to 7. The destructor restores the
// level -1 and switches sending off.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "terno/Socket.h"

class LogSink;

namespace findtest {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    bool ok() const { return ok_; }

    // Every line received so far (the text after the syslog header), waiting up to 200 ms
    // for lines still on their way.
    std::vector<std::string> lines();
    bool contains(std::string_view text);

private:
    TERNO::Socket listener_;
    std::shared_ptr<LogSink> sink_;
    std::vector<std::string> lines_;
    bool ok_ = false;
};

}  // namespace findtest
