// The DAO objects the stand-in has: DBEngine, Database, TableDefs, TableDef, Recordset, Fields and
// Field, each reached only through IDispatch. Every object taken from a database keeps it alive.
#pragma once

#include <cstdint>
#include <memory>

#include "dispatch_object.h"
#include "open_database.h"

namespace dao {

// DBEngine, as the class object creates it.
HRESULT create_engine(REFIID riid, void** object);

// Database.TableDefs: the tables as they are now, in DAO's order (by name).
ComPtr<IDispatch> make_table_defs(const std::shared_ptr<OpenDatabase>& database);

// The recordset of "SELECT COUNT(*) FROM [table]": one row, one field.
ComPtr<IDispatch> make_count_recordset(const std::shared_ptr<OpenDatabase>& database, std::uint32_t count);

}  // namespace dao
