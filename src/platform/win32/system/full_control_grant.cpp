// Full control for some accounts, merged into a file's or folder's access list
// through the handle it is held by, as "cacls /E /G account:F" would merge it:
// nothing removed, the inherited entries kept behind the explicit ones.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/grantable_path.h"

namespace car::win32 {
namespace {

using LocalSid = std::unique_ptr<void, LocalFreeDeleter>;

}  // namespace

void grantFullControlThrough(HANDLE handle, const std::wstring& path, const std::vector<std::wstring>& sids,
                             bool inherited) {
    std::vector<LocalSid> accounts;
    std::vector<EXPLICIT_ACCESS_W> entries;
    for (const std::wstring& text : sids) {
        PSID sid = nullptr;
        if (!::ConvertStringSidToSidW(text.c_str(), &sid)) throwLastErrorAbout(text + L", " + path);
        accounts.emplace_back(sid);
        EXPLICIT_ACCESS_W entry{};
        entry.grfAccessPermissions = FILE_ALL_ACCESS;
        entry.grfAccessMode = GRANT_ACCESS;
        entry.grfInheritance = inherited ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
        entries.push_back(entry);
    }
    if (entries.empty()) return;

    PACL list = nullptr;
    PSECURITY_DESCRIPTOR current = nullptr;
    DWORD result = ::GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                     nullptr, &current);
    if (result != ERROR_SUCCESS) throw win32ErrorAbout(result, path);
    const std::unique_ptr<void, LocalFreeDeleter> ownedCurrent(current);
    // No list at all already lets everyone do everything; a list of the new
    // entries alone would take that from everybody else.
    if (list == nullptr) return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(current, &control, &revision)) throwLastErrorAbout(path);

    PACL merged = nullptr;
    result = ::SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(), list, &merged);
    if (result != ERROR_SUCCESS) throw win32ErrorAbout(result, path);
    const std::unique_ptr<void, LocalFreeDeleter> ownedMerged(merged);

    // Written as the kernel takes it: SetSecurityInfo would go on to write the
    // new inheritable entries into every existing child by name, and the tree
    // below is walked by handle, each child on its own.
    SECURITY_DESCRIPTOR descriptor{};
    const SECURITY_DESCRIPTOR_CONTROL kept = control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, merged, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED, kept)) {
        throwLastErrorAbout(path);
    }
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((kept & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (!::SetKernelObjectSecurity(handle, what, &descriptor)) throwLastErrorAbout(path);
}

}  // namespace car::win32
