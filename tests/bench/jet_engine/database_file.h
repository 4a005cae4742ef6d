// File access for the engine: opening a JET 4 database the way the engine does, and creating its copy.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/win32/handle.h"

namespace jet {

using car::win32::UniqueHandle;

inline constexpr std::uint64_t kPageSize = 4096;  // JET 4 pages

// A source database opened for reading while nobody else may write to it.
struct SourceDatabase {
    UniqueHandle file;
    std::uint64_t size = 0;
};

// Opens the database, denying others write access as the engine does for a compaction, and checks
// that it is a JET 4 database. Throws JetError with the engine's wording.
SourceDatabase open_source(const std::wstring& path);

// Throws "Database already exists." when anything (file or folder) stands under the path, and the
// engine's invalid-path error when its folder does not exist.
void check_destination_free(const std::wstring& path);

// Creates the destination, never replacing anything: a file that appears meanwhile is refused too.
UniqueHandle create_destination(const std::wstring& path);

// Positions the file at its start.
void rewind(const UniqueHandle& file, const std::wstring& path);

// Reads exactly buffer.size() bytes; throws JetError (naming path) on failure or a short read.
void read_exactly(const UniqueHandle& file, std::span<unsigned char> buffer, const std::wstring& path);

// Writes every byte; throws JetError naming path.
void write_all(const UniqueHandle& file, std::span<const unsigned char> data, const std::wstring& path);

// The system's text for a Win32 error code, without the trailing line break.
std::wstring system_message(DWORD error);

}  // namespace jet
