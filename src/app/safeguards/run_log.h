// The record of a run, appended line by line to a text file beside the
// database, so that it tells afterwards what a run did and where it stopped,
// even when the program was killed; each line goes to the run's record in a
// folder only administrators write as well (RunRecord), for the next start
// to act on. A log that cannot be written never stops the run: the first
// failure is kept for the run's result, and that file is not tried again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/safeguards/run_record.h"
#include "platform/platform.h"

namespace car {

class RunLog {
public:
    explicit RunLog(Platform& platform) : platform_(platform), records_(platform) {}

    // Starts the run's record in the file `path` with its first line, and in
    // the file `recordPath` as well unless it is empty. Each file is opened
    // once for the whole run, never through a link: the folder beside the
    // database may be writable by every user.
    void begin(const std::wstring& path, const std::wstring& header, const std::wstring& recordPath = {});
    // Sets the log's access list, through the open file, to the
    // administrators group and SYSTEM alone: it tells what the run did as
    // SYSTEM, and the grants of the data folder give every user full control
    // of it. Done when the log is opened and again after the grants.
    void restrictAccess();
    // A line with the local time to the millisecond; nothing outside a run.
    void write(const std::wstring& text);
    // How a started program ended, or that it still runs.
    void writeProcessEnd(const std::wstring& commandLine, std::uint32_t process, bool ended,
                         const std::optional<std::uint32_t>& exitCode);
    // The run is over: the file is closed and nothing more is written.
    void end();
    // Starts a record in the log beside the database, and in the database's
    // record file: its first line names the program, the host, the database,
    // the kind of record (empty for a run) and this process.
    void beginRecord(const std::wstring& dbPath, const std::wstring& host, const std::wstring& kind);
    // One line in the file, outside any run: opened, written and closed.
    void writeOneLine(const std::wstring& path, const std::wstring& text) {
        begin(path, text);
        end();
    }
    bool active() const { return active_; }
    std::uint64_t elapsedMs() const { return platform_.milliseconds() - startedAt_; }
    // Empty while every line could be written; else what went wrong.
    std::wstring failure() const;
    RunRecord& records() { return records_; }

private:
    // One file the lines go to, and what went wrong with it.
    struct Sink {
        const wchar_t* what;  // "The run log", "The run's record"
        std::wstring path;
        std::unique_ptr<AppendFile> file;
        std::wstring failure;

        void fail(const Error& error);
    };

    std::wstring timeStamp();
    void open(Sink& sink, const std::wstring& path);
    // Runs `attempt` again while another process (a virus scanner, a backup
    // agent) has the file for a moment.
    template <class Attempt>
    void retried(Attempt attempt);

    Platform& platform_;
    RunRecord records_;
    Sink record_{L"The run's record", {}, {}, {}};
    Sink beside_{L"The run log", {}, {}, {}};
    std::uint64_t startedAt_ = 0;
    bool active_ = false;
};

}  // namespace car
