// What JRO's JetEngine.CompactDatabase does, as far as the maintenance program relies on it.
#pragma once

#include <string>

namespace jet {

// Writes a verified copy of the source database under the destination's name, which must not exist.
// Both arguments are OLE DB connection strings. Throws JetError; a failure leaves no destination file.
void compact_database(const std::wstring& source_connection, const std::wstring& destination_connection);

}  // namespace jet
