// The fake's accounts, access lists, privileges and trusted folder, and the
// folders it lets the program hold and walk.
#include <algorithm>
#include <functional>

#include "fake_grantable.h"
#include "fake_platform.h"

namespace cartest {
namespace {

// A file or folder opened under a name: what stands there now, or for a
// followed link the target, as the system would open it.
class FakeTreePath final : public FakeGrantable<car::GrantablePath> {
public:
    FakeTreePath(FakePlatform& platform, std::wstring opened, std::function<void()> close)
        : FakeGrantable(platform, std::move(opened)), close_(std::move(close)) {}
    ~FakeTreePath() override {
        if (close_) close_();
    }

private:
    std::function<void()> close_;
};

class FakePrivilege final : public car::Held {
public:
    FakePrivilege(std::multiset<car::Privilege>& enabled, car::Privilege privilege)
        : enabled_(enabled), privilege_(privilege) {
        enabled_.insert(privilege_);
    }
    FakePrivilege(const FakePrivilege&) = delete;
    FakePrivilege& operator=(const FakePrivilege&) = delete;
    ~FakePrivilege() override { enabled_.erase(enabled_.find(privilege_)); }

private:
    std::multiset<car::Privilege>& enabled_;
    car::Privilege privilege_;
};

}  // namespace

std::uint64_t FakePlatform::fileIdOf(const std::wstring& path) const { return std::hash<std::wstring>{}(path); }

// Sorted by name; a followed link is listed as the reparse point it is.
std::vector<car::ListedEntry> FakePlatform::listFolder(const std::wstring& folder) {
    std::wstring prefix = folder;
    while (prefix.ends_with(L'\\')) prefix.pop_back();
    record(L"list " + prefix);
    prefix += L"\\";
    std::map<std::wstring, bool> names;  // name, folder
    const auto add = [&](const std::wstring& path, bool leaf) {
        if (!path.starts_with(prefix) || path.size() == prefix.size()) return;
        const std::wstring rest = path.substr(prefix.size());
        const std::size_t cut = rest.find(L'\\');
        names[rest.substr(0, cut)] |= cut != std::wstring::npos || !leaf;
    };
    for (const auto& [path, file] : files) add(path, true);
    for (const std::wstring& path : emptyFolders) add(path, false);
    for (const auto& [link, target] : followedLinks) add(link, false);
    std::vector<car::ListedEntry> entries;
    for (const auto& [name, isFolder] : names) {
        const std::wstring path = prefix + name;
        entries.push_back(
            {name, fileIdOf(path), isFolder, reparsePoints.contains(path) || followedLinks.contains(path)});
    }
    if (afterListing) afterListing(prefix.substr(0, prefix.size() - 1));
    return entries;
}

void FakePlatform::grantOn(const std::wstring& given, const std::vector<std::wstring>& sids, bool inherited) {
    std::wstring path = given;
    while (path.ends_with(L'\\')) path.pop_back();
    std::wstring grant = path + L" <-";
    for (const std::wstring& sid : sids) grant += (sid == sids.front() ? L" " : L",") + sid;
    if (inherited) grant += L" inherited";
    record(L"grantFullControl " + grant);
    if (grantRefused.contains(path)) throw car::Error{car::kAccessDeniedHr, L"Access is denied."};
    grants.push_back(grant);
}

std::unique_ptr<car::GrantablePath> FakePlatform::openInTree(const std::wstring& path) {
    record(L"openInTree " + path);
    const auto link = followedLinks.find(path);
    const std::wstring opened = link == followedLinks.end() ? path : link->second;
    if (!files.contains(opened) && !isFolder(opened) && !emptyFolders.contains(opened) &&
        !reparsePoints.contains(opened)) {
        throw car::Error{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    }
    return std::make_unique<FakeTreePath>(*this, opened, nullptr);
}

std::unique_ptr<car::GrantablePath> FakePlatform::holdFolder(const std::wstring& folder) {
    record(L"holdFolder " + folder);
    if (!isFolder(folder) && !reparsePoints.contains(folder) && !emptyFolders.contains(folder)) {
        throw car::Error{car::hresult(0x80070003u), L"The system cannot find the path specified."};
    }
    heldFolders.insert(folder);
    return std::make_unique<FakeTreePath>(*this, folder,
                                          [this, folder] { heldFolders.erase(heldFolders.find(folder)); });
}

std::optional<car::Account> FakePlatform::accountBySid(const std::wstring& sid) {
    record(L"accountBySid " + sid);
    const auto found =
        std::find_if(accounts.begin(), accounts.end(), [&](const car::Account& a) { return a.sid == sid; });
    return found == accounts.end() ? std::nullopt : std::optional<car::Account>(*found);
}

std::optional<car::Account> FakePlatform::accountByName(const std::wstring& name) {
    record(L"accountByName " + name);
    const auto found = std::find_if(accounts.begin(), accounts.end(), [&](const car::Account& a) {
        const std::wstring alone = a.name.substr(a.name.find(L'\\') + 1);
        return car::lowerCase(a.name) == car::lowerCase(name) || car::lowerCase(alone) == car::lowerCase(name);
    });
    return found == accounts.end() ? std::nullopt : std::optional<car::Account>(*found);
}

std::unique_ptr<car::Held> FakePlatform::enablePrivilege(car::Privilege privilege) {
    return std::make_unique<FakePrivilege>(privileges, privilege);
}

car::TrustedFolder FakePlatform::holdTrustedFolder() {
    record(L"holdTrustedFolder");
    if (trustedFolderRefusal) throw *trustedFolderRefusal;
    trustedFolderHeld = true;
    struct Hold final : car::Held {
        explicit Hold(bool& held) : held_(held) {}
        ~Hold() override { held_ = false; }
        bool& held_;
    };
    return {trustedFolder,
            std::make_unique<Hold>(trustedFolderHeld),
            trustedFolderOwner,
            trustedFolderWriters,
            {L"S-1-5-21-7-7-7-500"}};
}

}  // namespace cartest
