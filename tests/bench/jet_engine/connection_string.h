// Reads the OLE DB connection strings that CompactDatabase is given.
#pragma once

#include <optional>
#include <string>

namespace jet {

struct Connection {
    std::wstring provider;
    std::wstring data_source;
    std::optional<std::wstring> engine_type;
    std::wstring password;
};

// Splits "key=value;" pairs (keys case-insensitive and trimmed, values trimmed or quoted with ' or ")
// and keeps the keys the engine knows. Throws JetError for a malformed string or an unknown key.
Connection parse_connection(const std::wstring& text);

// Refuses what this engine cannot do: another provider, no data source, an engine type other
// than JET 4.x, a database password (the databases it handles have none).
void check_connection(const Connection& connection);

}  // namespace jet
