// The run's log, opened once under its own name: a reparse point is opened
// itself, never followed, so that what the handle stands on is what the
// caller looks at; and the end of a text file, never read through a link.
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/reparse_kind.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

class OpenedPath : public AppendFile {
public:
    OpenedPath(win32::UniqueHandle handle, const std::wstring& path) : handle_(std::move(handle)), path_(path) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(handle_.get(), &info)) win32::throwLastErrorAbout(path);
        kind_ = win32::reparseKindOf(handle_.get(), info.dwFileAttributes);
        names_ = info.nNumberOfLinks;
    }

    ReparseKind reparseKind() const override { return kind_; }
    std::uint32_t nameCount() const override { return names_; }

    void appendLine(const std::wstring& line) override {
        const std::wstring text = line + L"\r\n";
        const int size =
            ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                              nullptr);
        DWORD written = 0;
        // Opened for appending only: every write goes to the file's end,
        // whoever else appends meanwhile.
        if (!::WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            throw win32::win32Error(::GetLastError());
        }
    }

    void restrictToAdministrators() override {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                                    &descriptor, nullptr)) {
            win32::throwLastErrorAbout(path_);
        }
        const std::unique_ptr<void, win32::LocalFreeDeleter> owned(descriptor);
        // The list goes to the file as it is: SetSecurityInfo would add the
        // folder's inheritable entries on some systems, protected or not.
        if (!::SetKernelObjectSecurity(handle_.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                       descriptor)) {
            win32::throwLastErrorAbout(path_);
        }
    }

private:
    win32::UniqueHandle handle_;
    std::wstring path_;
    ReparseKind kind_ = ReparseKind::None;
    std::uint32_t names_ = 1;
};

}  // namespace

std::optional<std::wstring> Win32Platform::readTextTail(const std::wstring& path, std::size_t maxBytes) {
    const win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !::GetFileSizeEx(file.get(), &size)) {
        return std::nullopt;
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    const std::uint64_t from = total > maxBytes ? total - maxBytes : 0;
    LARGE_INTEGER offset{};
    offset.QuadPart = static_cast<LONGLONG>(from);
    if (!::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(total - from), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return std::nullopt;
    bytes.resize(read);
    // From the first whole line on: the cut may fall inside a line, or a character.
    if (from != 0) bytes.erase(0, std::min(bytes.size(), bytes.find('\n') + 1));
    if (bytes.empty()) return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

// Its access list is read and set through the same handle, never by name.
std::unique_ptr<AppendFile> Win32Platform::openAppendFile(const std::wstring& path) {
    win32::UniqueHandle handle(::CreateFileW(path.c_str(),
                                             FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) throw win32::win32Error(::GetLastError());
    return std::make_unique<OpenedPath>(std::move(handle), path);
}

}  // namespace car
