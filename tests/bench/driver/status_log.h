// The status lines of the program's run log. The program writes every status
// text to the log beside the database the moment it shows it
// ("<local time> Status: <text>"), so the log has, in order, each text that
// stood too briefly for a look at the window to find it. Reading a file asks
// nothing of the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handle.h"

namespace driver {

struct LoggedStatus {
    std::wstring text;  // escaped as the driver prints a window's text
    // The line's time stamp (local time, in milliseconds since 1601).
    std::optional<std::int64_t> localMs;
};

class StatusLog {
public:
    // Follows the file from its present end: what an earlier run wrote is not
    // this watch's. A file that does not exist yet is followed from its start.
    explicit StatusLog(std::wstring path);

    // The status lines completed since the last call, in order.
    std::vector<LoggedStatus> readNew();

private:
    bool open();

    std::wstring path_;
    car::win32::UniqueHandle file_;
    std::uint64_t offset_ = 0;
    std::string partial_;  // the bytes of a line still being written
};

// The local time now, on the clock of the log's time stamps.
std::int64_t localMsNow();

}  // namespace driver
