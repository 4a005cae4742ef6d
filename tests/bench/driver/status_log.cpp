#include "status_log.h"

#include <windows.h>

#include <cstdio>
#include <string_view>
#include <utility>

#include "output.h"

namespace driver {
namespace {

// "2026-12-07 14:20:30.612 Status: Going to Kill Processes"
constexpr std::size_t kStampLength = 23;
constexpr std::wstring_view kStatusMark = L" Status: ";

std::wstring fromUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int chars = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, text.data(), chars);
    return text;
}

std::int64_t msSince1601(const SYSTEMTIME& time) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file)) return 0;
    return static_cast<std::int64_t>((std::uint64_t{file.dwHighDateTime} << 32 | file.dwLowDateTime) / 10000);
}

std::optional<std::int64_t> stampMs(const std::wstring& stamp) {
    SYSTEMTIME time{};
    if (std::swscanf(stamp.c_str(), L"%4hu-%2hu-%2hu %2hu:%2hu:%2hu.%3hu", &time.wYear, &time.wMonth, &time.wDay,
                     &time.wHour, &time.wMinute, &time.wSecond, &time.wMilliseconds) != 7) {
        return std::nullopt;
    }
    const std::int64_t ms = msSince1601(time);
    return ms != 0 ? std::optional<std::int64_t>(ms) : std::nullopt;
}

}  // namespace

std::int64_t localMsNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return msSince1601(now);
}

StatusLog::StatusLog(std::wstring path) : path_(std::move(path)) {
    LARGE_INTEGER size{};
    if (open() && GetFileSizeEx(file_.get(), &size)) offset_ = static_cast<std::uint64_t>(size.QuadPart);
}

// Every sharing allowed: the program opens the log to append while the watch
// reads it, and nothing here may ever stand in its way.
bool StatusLog::open() {
    if (!file_) {
        file_.reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return static_cast<bool>(file_);
}

std::vector<LoggedStatus> StatusLog::readNew() {
    std::vector<LoggedStatus> statuses;
    if (!open()) return statuses;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset_);
    if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return statuses;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        offset_ += got;
        partial_.append(buffer, got);
    }
    std::size_t start = 0;
    for (std::size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n', start)) {
        std::string_view bytes(partial_.data() + start, end - start);
        start = end + 1;
        if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
        const std::wstring line = fromUtf8(bytes);
        if (line.size() < kStampLength + kStatusMark.size() ||
            std::wstring_view(line).substr(kStampLength, kStatusMark.size()) != kStatusMark) {
            continue;
        }
        // The log writes a line break inside a text as \r or \n already.
        statuses.push_back({escaped(std::wstring_view(line).substr(kStampLength + kStatusMark.size())),
                            stampMs(line.substr(0, kStampLength))});
    }
    partial_.erase(0, start);
    return statuses;
}

}  // namespace driver
