// Internal to the SQLite driver: may change without notice.
//
// The live system catalog of an SQLite connection: the relations systable,
// syscolumn, sysprocedure and sysuserperms, answered from the connection's
// own schemas at the moment they are read.
#pragma once

#include <string>

struct sqlite3;

namespace ztl {

// The schema name the catalog is attached under.
inline constexpr const char* SQLiteCatalogSchema = "sys";

// Attaches an empty in-memory database as "sys" to Db and creates in it the
// four catalog relations as read-only virtual tables over Db's schemas.
// Nothing is written to any database Db had before.
//
// The relations (user_id numbers a schema: "main" is 1, the others follow in
// the order of PRAGMA database_list; the "sys" schema itself is left out):
//   sysuserperms(user_id, user_name)          one row per schema
//   systable(table_id, table_name, table_type, creator)
//                                             tables ('BASE') and views ('VIEW')
//                                             of every schema, SQLite's own
//                                             sqlite_* tables left out
//   syscolumn(table_id, column_id, column_name)
//                                             column_id counts from 1 in the
//                                             order of the table's definition
//   sysprocedure(proc_id, proc_name, creator) always empty
// A table keeps its table_id for the life of the connection (a renamed one
// gets a new id). Names compare without regard to ASCII case, as SQLite's
// identifiers do.
//
// True on success. False, with Db as it was (no "sys" left attached by this
// call) and Error saying why, when the library lacks virtual tables, a
// schema "sys" exists already, or the attach or a creation fails.
bool SQLiteInstallCatalog(sqlite3* Db, std::string& Error);

} // namespace ztl
