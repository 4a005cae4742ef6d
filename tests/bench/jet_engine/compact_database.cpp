#include "compact_database.h"

#include "connection_string.h"
#include "database_file.h"
#include "derived_copy.h"
#include "file_pages.h"
#include "jet_error.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <vector>

namespace jet {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// A destination file we created: removed again unless the copy was completed and verified.
class PartialCopy {
public:
    PartialCopy(std::wstring path, UniqueHandle file) : path_(std::move(path)), file_(std::move(file)) {}
    PartialCopy(const PartialCopy&) = delete;
    PartialCopy& operator=(const PartialCopy&) = delete;
    ~PartialCopy() {
        if (!kept_) {
            file_.reset();
            DeleteFileW(path_.c_str());
        }
    }
    [[nodiscard]] const UniqueHandle& file() const { return file_; }
    void close() { file_.reset(); }
    void keep() { kept_ = true; }

private:
    std::wstring path_;
    UniqueHandle file_;
    bool kept_ = false;
};

// How long a compaction is to take, as a test asks for it with
// BENCH_JET_COMPACT_MS in the calling program's environment (the engine runs
// in its process); 0 when unset: as fast as the disk allows. The real engine
// takes seconds to minutes on a large database, and a test of what the
// program does meanwhile needs that time without a database of gigabytes.
DWORD requested_duration_ms() {
    wchar_t text[16] = L"";
    const DWORD length = GetEnvironmentVariableW(L"BENCH_JET_COMPACT_MS", text, 16);
    if (length == 0 || length >= 16) {
        return 0;
    }
    return static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
}

// Whether a test asks the engine to crash in the middle of a compaction, with
// BENCH_JET_CRASH=1 in the environment of the process it runs in: the real
// engine may do so on a damaged database, and the program must survive it.
bool crash_requested() {
    wchar_t text[4] = L"";
    const DWORD length = GetEnvironmentVariableW(L"BENCH_JET_CRASH", text, 4);
    return length == 1 && text[0] == L'1';
}

// A real access violation (exception 0xC0000005), not a raised one: a write
// to an address nothing maps, read from a volatile so that the compiler
// cannot turn it into a trap of another kind.
void crash() {
    volatile std::uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
}

// What a test asks the compaction to come out as, with BENCH_JET_RESULT in the environment of the
// process the engine runs in: "lose-row", "lose-table" or "compact-error" for what the real engine
// does to a damaged database it cannot read whole, "repair" for a damaged one it mends (see
// derived_copy.h). Unset or empty: the copy is the source's bytes.
std::optional<jetfile::Derivation> requested_result() {
    wchar_t text[32] = L"";
    const DWORD length = GetEnvironmentVariableW(L"BENCH_JET_RESULT", text, 32);
    if (length == 0) {
        return std::nullopt;
    }
    const std::wstring name = length < 32 ? std::wstring(text, length) : L"(too long)";
    const auto result = jetfile::parse_derivation(name);
    if (!result) {
        throw JetError{E_FAIL,
                       L"BENCH_JET_RESULT=" + name + L" is none of lose-row, lose-table, compact-error, repair."};
    }
    return result;
}

// The pages in which the copy differs from its source, as the test asked for them.
jetfile::PagePatches derived_pages(const SourceDatabase& source, const std::wstring& source_path) {
    const auto result = requested_result();
    if (!result) {
        return {};
    }
    const auto refused = [&](const std::wstring& reason) {
        return JetError{E_FAIL, L"The bench's engine cannot derive its result from '" + source_path + L"': " + reason};
    };
    jetfile::PagePatches patches;
    try {
        patches = jetfile::derive(jetfile::FilePages(source.file.get(), source.size), *result);
    } catch (const jetfile::FormatError& error) {
        throw refused(error.reason);
    } catch (const jetfile::CannotDerive& error) {
        throw refused(error.reason);
    } catch (const jetfile::ReadError& error) {
        throw JetError{E_FAIL, L"Could not read '" + source_path + L"': " + system_message(error.code)};
    }
    rewind(source.file, source_path);
    return patches;
}

// The stand-in's compaction is a page-for-page copy: the result is the same JET 4 database, or the
// derived one a test asked for. With a duration asked for, the copy goes page by page and is spread
// evenly over that time, so that the destination keeps growing all along, as the engine's does.
void copy_pages(const SourceDatabase& source, const std::wstring& source_path, const jetfile::PagePatches& patches,
                const UniqueHandle& destination, const std::wstring& destination_path) {
    const DWORD duration = requested_duration_ms();
    const bool crashing = crash_requested();
    const std::size_t step = duration == 0 && !crashing ? kChunk : static_cast<std::size_t>(kPageSize);
    const ULONGLONG start = GetTickCount64();
    std::vector<unsigned char> buffer(step);
    for (std::uint64_t done = 0; done < source.size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(step, source.size - done));
        const std::span chunk(buffer.data(), length);
        read_exactly(source.file, chunk, source_path);
        jetfile::apply_patches(patches, done, chunk);
        write_all(destination, chunk, destination_path);
        done += length;
        // Half-way, with the destination partly written, as a crash leaves it.
        if (crashing && done >= source.size / 2) {
            crash();
        }
        if (duration != 0) {
            // Each page is due at its share of the time; a slow disk is never made slower.
            const ULONGLONG due = start + duration * done / source.size;
            const ULONGLONG now = GetTickCount64();
            if (due > now) {
                Sleep(static_cast<DWORD>(due - now));
            }
        }
    }
    if (!FlushFileBuffers(destination.get())) {
        throw JetError{E_FAIL, L"Could not write '" + destination_path + L"': " + system_message(GetLastError())};
    }
}

// Reads the finished copy back from disk and compares it with what was to be written, byte for byte.
void verify_copy(const SourceDatabase& source, const std::wstring& source_path, const jetfile::PagePatches& patches,
                 const std::wstring& destination_path) {
    const JetError mismatch{E_FAIL, L"The compacted database '" + destination_path +
                                        L"' does not match its source after writing; it was removed."};
    UniqueHandle copy(CreateFileW(destination_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!copy || !GetFileSizeEx(copy.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != source.size) {
        throw mismatch;
    }
    rewind(source.file, source_path);
    std::vector<unsigned char> expected(kChunk);
    std::vector<unsigned char> actual(kChunk);
    for (std::uint64_t done = 0; done < source.size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size - done));
        read_exactly(source.file, std::span(expected.data(), length), source_path);
        jetfile::apply_patches(patches, done, std::span(expected.data(), length));
        try {
            read_exactly(copy, std::span(actual.data(), length), destination_path);
        } catch (const JetError&) {
            throw mismatch;
        }
        if (!std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(length), actual.begin())) {
            throw mismatch;
        }
        done += length;
    }
}

}  // namespace

void compact_database(const std::wstring& source_connection, const std::wstring& destination_connection) {
    const Connection from = parse_connection(source_connection);
    const Connection to = parse_connection(destination_connection);
    check_connection(from);
    check_connection(to);

    check_destination_free(to.data_source);
    const SourceDatabase source = open_source(from.data_source);
    const jetfile::PagePatches patches = derived_pages(source, from.data_source);

    PartialCopy copy(to.data_source, create_destination(to.data_source));
    copy_pages(source, from.data_source, patches, copy.file(), to.data_source);
    copy.close();
    verify_copy(source, from.data_source, patches, to.data_source);
    copy.keep();
}

}  // namespace jet
