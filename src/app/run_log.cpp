#include "app/run_log.h"

#include <cwchar>

namespace car {

void RunLog::begin(const std::wstring& path, const std::wstring& header) {
    path_ = path;
    failure_.clear();
    startedAt_ = platform_.milliseconds();
    active_ = true;
    write(header);
}

void RunLog::write(const std::wstring& text) {
    if (!active_ || !failure_.empty()) return;
    // One line a record: line breaks inside a text are written as \r and \n.
    std::wstring line = timeStamp() + L" ";
    for (const wchar_t c : text) {
        if (c == L'\r') {
            line += L"\\r";
        } else if (c == L'\n') {
            line += L"\\n";
        } else {
            line += c;
        }
    }
    try {
        platform_.appendLine(path_, line);
    } catch (const Error& error) {
        failure_ = L"The run log " + path_ + L" could not be written (" + errorSummary(error) + L").";
    }
}

std::wstring RunLog::timeStamp() {
    const LocalTime t = platform_.localTime();
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.millisecond);
    return text;
}

}  // namespace car
