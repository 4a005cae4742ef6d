#include "compact_database.h"

#include "connection_string.h"
#include "database_file.h"
#include "jet_error.h"

#include <algorithm>
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

// The stand-in's compaction is a page-for-page copy: the result is the same JET 4 database.
void copy_pages(const SourceDatabase& source, const std::wstring& source_path, const UniqueHandle& destination,
                const std::wstring& destination_path) {
    std::vector<unsigned char> buffer(kChunk);
    for (std::uint64_t done = 0; done < source.size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size - done));
        const std::span chunk(buffer.data(), length);
        read_exactly(source.file, chunk, source_path);
        write_all(destination, chunk, destination_path);
        done += length;
    }
    if (!FlushFileBuffers(destination.get())) {
        throw JetError{E_FAIL, L"Could not write '" + destination_path + L"': " + system_message(GetLastError())};
    }
}

// Reads the finished copy back from disk and compares it with the source, byte for byte.
void verify_copy(const SourceDatabase& source, const std::wstring& source_path,
                 const std::wstring& destination_path) {
    const JetError mismatch{E_FAIL, L"The compacted database '" + destination_path +
                                        L"' does not match its source after writing; it was removed."};
    UniqueHandle copy(CreateFileW(destination_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!copy.valid() || !GetFileSizeEx(copy.get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) != source.size) {
        throw mismatch;
    }
    rewind(source.file, source_path);
    std::vector<unsigned char> expected(kChunk);
    std::vector<unsigned char> actual(kChunk);
    for (std::uint64_t done = 0; done < source.size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size - done));
        read_exactly(source.file, std::span(expected.data(), length), source_path);
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

    PartialCopy copy(to.data_source, create_destination(to.data_source));
    copy_pages(source, from.data_source, copy.file(), to.data_source);
    copy.close();
    verify_copy(source, from.data_source, to.data_source);
    copy.keep();
}

}  // namespace jet
