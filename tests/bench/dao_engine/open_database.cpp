#include "open_database.h"

#include "dao_errors.h"

namespace dao {
namespace {

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

DaoError open_failure(const std::wstring& path, DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return could_not_find_file(path);
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return not_a_valid_path(path);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return cannot_open_file(path);
        case ERROR_ACCESS_DENIED:
            // Windows answers "access denied" for a folder; JET takes that as no file at all.
            return is_folder(path) ? could_not_find_file(path) : cannot_open_file(path);
        default:
            return disk_or_network_error();
    }
}

}  // namespace

OpenDatabase::OpenDatabase(std::wstring path, bool exclusive, bool read_only) : path_(std::move(path)) {
    const DWORD access = GENERIC_READ | (read_only ? 0 : GENERIC_WRITE);
    const DWORD sharing = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    handle_.reset(CreateFileW(path_.c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_) {
        throw open_failure(path_, GetLastError());
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_.get(), &size)) {
        throw disk_or_network_error();
    }
    pages_ = std::make_unique<jetfile::FilePages>(handle_.get(), static_cast<std::uint64_t>(size.QuadPart));
    try {
        file_ = std::make_unique<jetfile::JetFile>(*pages_);
    } catch (const jetfile::FormatError&) {
        throw unrecognized_format(path_);
    } catch (const jetfile::ReadError&) {
        throw disk_or_network_error();
    }
}

void OpenDatabase::close() {
    if (closed()) {
        throw object_invalid();
    }
    file_.reset();
    pages_.reset();
    handle_.reset();
}

const jetfile::JetFile& OpenDatabase::file() const {
    if (closed()) {
        throw object_invalid();
    }
    return *file_;
}

std::uint32_t OpenDatabase::count_rows(const jetfile::TableEntry& table) const {
    try {
        return file().live_rows(table);
    } catch (const jetfile::FormatError&) {
        throw unrecognized_format(path_);
    } catch (const jetfile::ReadError&) {
        throw disk_or_network_error();
    }
}

}  // namespace dao
