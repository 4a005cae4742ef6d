// A file held for a run: opened under its own name without following a
// reparse point and without delete sharing, so that the name cannot be
// taken from under the run; everything done to the file afterwards is done
// through the handle, never again by name.
#include <windows.h>

#include <aclapi.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/grantable_path.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

// The name a rename through a handle takes goes to the file system as it is,
// which reads a full path only in its own form: "\??\C:\..." or
// "\??\UNC\server\share\...".
std::wstring ntPathOf(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) win32::throwLastErrorAbout(path);
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) win32::throwLastErrorAbout(path);
    full.resize(length);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return L"\\??\\" + full.substr(4);
    if (full.starts_with(L"\\\\")) return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
}

class HandleHeldFile final : public win32::HandlePath<HeldFile> {
public:
    using HandlePath::HandlePath;

    std::vector<std::uint8_t> ownerAndAccessList() const override {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD result =
            ::GetSecurityInfo(handle(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor);
        if (result != ERROR_SUCCESS) throw win32::win32ErrorAbout(result, path());
        const std::unique_ptr<void, win32::LocalFreeDeleter> owned(descriptor);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) win32::throwLastErrorAbout(path());
        if ((control & SE_SELF_RELATIVE) != 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
            return std::vector<std::uint8_t>(bytes, bytes + ::GetSecurityDescriptorLength(descriptor));
        }
        DWORD size = 0;
        ::MakeSelfRelativeSD(descriptor, nullptr, &size);
        std::vector<std::uint8_t> bytes(size);
        if (!::MakeSelfRelativeSD(descriptor, bytes.data(), &size)) win32::throwLastErrorAbout(path());
        return bytes;
    }

    void giveOwnerAndAccessList(const std::vector<std::uint8_t>& given) override {
        std::vector<std::uint8_t> descriptor = given;  // the calls take it writable
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        BOOL listPresent = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        PSID owner = nullptr;
        if (descriptor.size() < sizeof(SECURITY_DESCRIPTOR_RELATIVE) ||
            !::IsValidSecurityDescriptor(descriptor.data()) ||
            ::GetSecurityDescriptorLength(descriptor.data()) > descriptor.size() ||
            !::GetSecurityDescriptorControl(descriptor.data(), &control, &revision) ||
            !::GetSecurityDescriptorDacl(descriptor.data(), &listPresent, &list, &defaulted) ||
            !::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted)) {
            throw win32::win32ErrorAbout(ERROR_INVALID_SECURITY_DESCR, path());
        }
        // Each part is set even when the other fails, so that the file keeps
        // as much of what it is to have as it can take.
        std::wstring failed;
        std::optional<Error> first;
        const auto note = [&](DWORD result, const wchar_t* part) {
            if (result == ERROR_SUCCESS) return;
            const Error error = win32::win32Error(result);
            failed += std::wstring(failed.empty() ? L"" : L"; ") + part + L": " + error.description;
            if (!first) first = error;
        };
        if (listPresent) {
            // An unprotected list takes its inherited entries from the file's
            // folder again, as a file created there would.
            const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) != 0
                                                                               ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                               : UNPROTECTED_DACL_SECURITY_INFORMATION);
            note(::SetSecurityInfo(handle(), SE_FILE_OBJECT, what, nullptr, nullptr, list, nullptr),
                 L"The access list could not be set");
        }
        if (owner != nullptr) {
            // Without the restore privilege, which the caller enables around
            // this, an administrator may make only himself or the
            // administrators group the owner.
            note(::SetSecurityInfo(handle(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                                   nullptr),
                 L"The owner could not be set");
        }
        if (first) throw Error{first->number, failed + L" (" + path() + L")"};
    }

    void flush() override {
        if (!::FlushFileBuffers(handle())) win32::throwLastErrorAbout(path());
    }

    void rename(const std::wstring& to, bool replace) override {
        const std::wstring name = ntPathOf(to);
        const std::size_t nameBytes = (name.size() + 1) * sizeof(wchar_t);
        const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + nameBytes;
        std::vector<std::uint64_t> record((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));  // aligned
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(record.data());
        info->ReplaceIfExists = replace ? TRUE : FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::memcpy(reinterpret_cast<std::uint8_t*>(info) + offsetof(FILE_RENAME_INFO, FileName), name.c_str(),
                    nameBytes);
        if (!::SetFileInformationByHandle(handle(), FileRenameInfo, info, static_cast<DWORD>(size)))
            win32::throwLastErrorAbout(to);
        renamed(to);
        // The new name is a change of the file's own record: flushing the
        // file writes it, with the file's data, to the disk. The rename has
        // happened whatever the flush answers, and a caller told otherwise
        // would undo the wrong things, so a failed flush is not reported.
        if (!isFolder()) ::FlushFileBuffers(handle());
    }
};

}  // namespace

// Write access is for the flush; delete access is what a rename through the
// handle needs; the owner and the access list are given through it too.
// Others may read and write meanwhile, but without delete sharing nobody can
// rename or remove the file while it is held.
std::unique_ptr<HeldFile> Win32Platform::holdFile(const std::wstring& path) {
    win32::UniqueHandle handle(::CreateFileW(
        path.c_str(), DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) win32::throwLastErrorAbout(path);
    return std::make_unique<HandleHeldFile>(std::move(handle), path);
}

}  // namespace car
