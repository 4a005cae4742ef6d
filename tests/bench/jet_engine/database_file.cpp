#include "database_file.h"

#include "jet_error.h"

#include <array>
#include <cstring>

namespace jet {
namespace {

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

JetError io_failure(const wchar_t* what, const std::wstring& path, DWORD error) {
    return {E_FAIL, std::wstring(what) + L" '" + path + L"': " + system_message(error)};
}

// Page 0 of a JET database starts with the page signature and the engine's name; the byte after
// the name tells the file format (0 is JET 3, 1 is JET 4, later ones belong to ACE).
bool is_jet4_header(const std::array<unsigned char, 0x15>& header) {
    static constexpr unsigned char kSignature[] = {0x00, 0x01, 0x00, 0x00};
    static constexpr char kName[] = "Standard Jet DB";
    return std::memcmp(header.data(), kSignature, sizeof kSignature) == 0 &&
           std::memcmp(header.data() + 4, kName, sizeof kName) == 0 && header[0x14] == 1;
}

}  // namespace

std::wstring system_message(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length == 0 ? L"error " + std::to_wstring(error) : std::wstring(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

SourceDatabase open_source(const std::wstring& path) {
    SourceDatabase source;
    source.file = UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.file) {
        const DWORD error = GetLastError();
        switch (error) {
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
                throw file_in_use(path);
            case ERROR_ACCESS_DENIED:
                // Windows answers "access denied" for a folder; JET treats that as no file at all.
                throw is_folder(path) ? file_not_found(path) : cannot_open(path);
            default:
                throw file_not_found(path);
        }
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(source.file.get(), &size)) {
        throw io_failure(L"Could not read", path, GetLastError());
    }
    source.size = static_cast<std::uint64_t>(size.QuadPart);
    if (source.size < kPageSize || source.size % kPageSize != 0) {
        throw unrecognized_format(path);
    }
    std::array<unsigned char, 0x15> header{};
    read_exactly(source.file, header, path);
    if (!is_jet4_header(header)) {
        throw unrecognized_format(path);
    }
    rewind(source.file, path);
    return source;
}

void check_destination_free(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        throw database_exists();
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        // Its folder is missing, or the name cannot be a file name at all.
        throw not_a_valid_path(path);
    }
}

UniqueHandle create_destination(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || exists(path)) {
            throw database_exists();
        }
        if (error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            throw not_a_valid_path(path);
        }
        throw io_failure(L"Could not create", path, error);
    }
    return file;
}

void rewind(const UniqueHandle& file, const std::wstring& path) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
        throw io_failure(L"Could not read", path, GetLastError());
    }
}

void read_exactly(const UniqueHandle& file, std::span<unsigned char> buffer, const std::wstring& path) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(buffer.size() - done);
        if (!ReadFile(file.get(), buffer.data() + done, want, &got, nullptr)) {
            throw io_failure(L"Could not read", path, GetLastError());
        }
        if (got == 0) {
            throw JetError{E_FAIL, L"Could not read '" + path + L"': the file ended early."};
        }
        done += got;
    }
}

void write_all(const UniqueHandle& file, std::span<const unsigned char> data, const std::wstring& path) {
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD put = 0;
        const auto want = static_cast<DWORD>(data.size() - done);
        if (!WriteFile(file.get(), data.data() + done, want, &put, nullptr)) {
            throw io_failure(L"Could not write", path, GetLastError());
        }
        if (put == 0) {
            throw io_failure(L"Could not write", path, ERROR_WRITE_FAULT);
        }
        done += put;
    }
}

}  // namespace jet
