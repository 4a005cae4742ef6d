// A database DAO has open: the file held from OpenDatabase until Database.Close, or until the last
// object taken from it is released, as DAO holds it (readers and writers let in, a rename or a
// delete refused); and its catalogue, read once at the open.
#pragma once

#include <memory>
#include <string>

#include "file_pages.h"
#include "jet_file.h"
#include "platform/win32/handle.h"

namespace dao {

class OpenDatabase {
public:
    // Throws DaoError as DAO's OpenDatabase fails: a missing file or folder, a file another process
    // holds exclusively, one that is not a JET 4 database.
    OpenDatabase(std::wstring path, bool exclusive, bool read_only);
    OpenDatabase(const OpenDatabase&) = delete;
    OpenDatabase& operator=(const OpenDatabase&) = delete;

    [[nodiscard]] const std::wstring& path() const { return path_; }
    [[nodiscard]] bool closed() const { return file_ == nullptr; }
    // Lets go of the file; the objects taken from the database fail from then on.
    void close();

    // The file's tables; throws DaoError (3420) once closed.
    [[nodiscard]] const jetfile::JetFile& file() const;
    // The live rows of a table, read now; damage shows as DAO's format error.
    [[nodiscard]] std::uint32_t count_rows(const jetfile::TableEntry& table) const;

private:
    std::wstring path_;
    car::win32::UniqueHandle handle_;
    std::unique_ptr<jetfile::FilePages> pages_;
    std::unique_ptr<jetfile::JetFile> file_;
};

}  // namespace dao
