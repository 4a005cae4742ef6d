// Who may do what on the machine, as the program sees it: files and folders
// held open under names that were not followed, access lists changed through
// those holds, accounts known by their SIDs, privileges enabled only around
// the calls that need them, and a folder only administrators write.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace car {

// Something the program holds until it lets go of it by destroying the
// object: an open folder or file, a lock, an enabled privilege.
class Held {
public:
    virtual ~Held() = default;
};

// What stands under a name that is a reparse point: a volume mount point
// (its target the root of a volume, "\\??\\Volume{...}\\"), a junction to a
// folder, a symbolic link, or any other kind.
enum class ReparseKind { None, VolumeMountPoint, Junction, SymbolicLink, Other };

// A file or folder held open under a name that was not followed: where the
// name is a reparse point, the handle is on the reparse point itself.
class OpenPath : public Held {
public:
    virtual ReparseKind reparseKind() const = 0;
    bool isReparsePoint() const { return reparseKind() != ReparseKind::None; }
    // The names the file has (more than one: hard links elsewhere).
    virtual std::uint32_t nameCount() const = 0;
};

// An entry of a folder as the folder's own listing names it.
struct ListedEntry {
    std::wstring name;         // the name alone
    std::uint64_t fileId = 0;  // the file system's number for it, unique on its volume
    bool isFolder = false;
    bool reparsePoint = false;  // a junction, symbolic link or mount point itself
};

// A file or folder held open, whose access list the program may change
// through the hold, never by name.
class GrantablePath : public OpenPath {
public:
    virtual bool isFolder() const = 0;
    // The serial number of the volume it is on, and its number there.
    virtual std::uint32_t volume() const = 0;
    virtual std::uint64_t fileId() const = 0;
    // Adds to its access list one entry per account (SIDs as text,
    // "S-1-5-32-544") that allows that account full control, in one change,
    // merged with what the list holds: nothing is removed, inherited entries
    // stay as they are, and nothing below a folder changes with it. With
    // `inherited`, files and folders made inside inherit the entries. One
    // without any list, which lets everyone do everything, stays so.
    virtual void grantFullControl(const std::vector<std::wstring>& sids, bool inherited) = 0;
    // A folder's entries ("." and ".." aside), read through the hold.
    virtual std::vector<ListedEntry> list() = 0;
};

// An account as this machine knows it.
struct Account {
    std::wstring name;  // "DOMAIN\name" in this Windows' language: "BUILTIN\Administrators"
    std::wstring sid;   // "S-1-5-32-544"
};

// The privileges the program holds disabled and enables only around the
// calls that need them, so that no program it starts inherits one.
enum class Privilege {
    Debug,    // to end a process of another account
    Restore,  // to give a file an owner other than oneself or the administrators
};

// The folder where the program keeps what only administrators may write,
// held so that it cannot be renamed away while it is used, and who may
// change it, as read through the hold.
struct TrustedFolder {
    std::wstring path;  // without a trailing backslash
    std::unique_ptr<Held> hold;
    std::wstring owner;  // its owner's SID as text
    // Every account an entry of its list lets write in it (add, change or
    // delete what is inside, or change its list or owner), as SIDs; Everyone
    // ("S-1-1-0") when it has no list at all; an empty text for an entry
    // whose account cannot be read.
    std::vector<std::wstring> writers;
    // The accounts this program runs as: its own, and the default owner its
    // token gives what it makes.
    std::vector<std::wstring> ownAccounts;
};

class AccessControl {
public:
    virtual ~AccessControl() = default;

    // Opens a file or folder in a tree under its own name, never following
    // a reparse point (one is opened itself). A folder is held without delete
    // sharing, so that its name and the names inside it stay while it is
    // open; a file is shared in every way.
    virtual std::unique_ptr<GrantablePath> openInTree(const std::wstring& path) = 0;
    // The account of a SID given as text, named as this machine names it;
    // nothing when the SID has no account here.
    virtual std::optional<Account> accountBySid(const std::wstring& sid) = 0;
    // The account of a name as this machine looks it up (itself first, then
    // its domain); nothing when no account has that name.
    virtual std::optional<Account> accountByName(const std::wstring& name) = 0;
    // Enables a privilege of the program's token until the hold is let go,
    // when it goes back to what it was. An account that lacks the privilege
    // is no error: the call that needs it reports its own refusal.
    virtual std::unique_ptr<Held> enablePrivilege(Privilege privilege) = 0;
    // "%ProgramData%\Compact And Repair", made when it is missing with an
    // access list of SYSTEM and the administrators group alone, protected
    // from what its parent would pass on, then held. Fails, with why, when it
    // cannot be made or held, or is a link or a file; whether its owner and
    // list may be trusted is the caller's to judge.
    virtual TrustedFolder holdTrustedFolder() = 0;
};

}  // namespace car
