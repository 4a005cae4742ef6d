// What the JET engine stand-in writes instead of a plain copy when a test asks it to show a lossy or
// a repairing compaction: the pages that differ from the source's, so that the copy is still written
// and verified page by page. Each result is a database this reader and mdbtools both read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet_pages.h"

namespace jetfile {

enum class Derivation {
    // One user table one row fewer: a live row's slot flagged deleted, the table's stored count one
    // lower.
    LoseRow,
    // One user table gone: its catalogue row's slot flagged deleted, the catalogue's stored count one
    // lower; its definition and pages stay behind, owned by nobody.
    LoseTable,
    // A table named MSysCompactError in the catalogue: a new catalogue row, a copy of a user table's
    // with the new name, so that it names that table's definition and rows.
    CompactError,
    // The damage a repair mends: page 2, the catalogue's definition, with the wrong page type; the
    // copy has the definition page's type and constant byte back.
    Repair,
};

// "lose-row", "lose-table", "compact-error" or "repair".
std::optional<Derivation> parse_derivation(std::wstring_view text);

// The source cannot give that result (it has no user table with a row, say).
struct CannotDerive {
    std::wstring reason;
};

// The pages of the derived copy that differ from the source's. The result is read back before it
// is returned; throws FormatError, ReadError or CannotDerive.
PagePatches derive(const PageSource& source, Derivation what);

}  // namespace jetfile
