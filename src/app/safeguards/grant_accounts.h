// The accounts the grants name, known by what they are rather than by what
// they are called: the local administrators and users groups by their SIDs,
// whatever the language of Windows, and the web server's accounts as the
// installed IIS has them. IIS 7 and later has none of IIS 6's per-machine
// accounts: its worker group is IIS_IUSRS, its anonymous user IUSR, and its
// application pools are members of IIS_IUSRS, so the ASP.NET worker and the
// application-launch account have no counterpart there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace car {

class GrantAccounts {
public:
    // How an account name of the grants is found on this machine.
    struct Rule {
        enum class Kind { BySid, ByName, None };
        Kind kind = Kind::None;
        std::wstring value;  // the SID as text, or the name to look up
    };

    explicit GrantAccounts(Platform& platform) : platform_(platform) {}

    // Reads the web server's major version (none without IIS), which decides
    // its accounts for the grants that follow.
    void ReadWebServerVersion();
    // The rule for a name with the web server of that major version.
    static Rule RuleFor(const std::wstring& name, std::optional<std::int64_t> iisMajorVersion);
    // The account the name stands for here; nothing when there is none.
    std::optional<Account> Resolve(const std::wstring& name);

private:
    Platform& platform_;
    std::optional<std::int64_t> iisMajorVersion_;
};

}  // namespace car
