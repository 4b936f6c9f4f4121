// Internal to the PostgreSQL driver: may change without notice.
//
// The system catalog under the names the catalog helpers read
// (sys.systable, sys.syscolumn, sys.sysprocedure, sys.sysuserperms): the
// driver replaces each reference in a statement's text by a sub-query over
// pg_catalog, so nothing is created in the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ztl {

// One bit per catalog relation.
enum TPgCatalogRelation : std::uint32_t {
  pcrTable = 1,     // sys.systable
  pcrColumn = 2,    // sys.syscolumn
  pcrProcedure = 4, // sys.sysprocedure
  pcrUser = 8,      // sys.sysuserperms
};

// The catalog relations SQL names as sys.<relation>, as a set of
// TPgCatalogRelation bits. Only unquoted names count, in either case and
// with blanks around the full stop; literals, quoted identifiers, comments
// and names qualified further on the left (db.sys.systable) never do.
std::uint32_t PgCatalogReferences(std::string_view SQL);

// SQL with every reference counted by PgCatalogReferences to a relation in
// Relations replaced: as a table, "(sub-query) AS <relation>" (or only
// "(sub-query)" when the text gives an alias of its own); as the qualifier
// of a column (sys.systable.table_name), the bare relation name. Everything
// else is kept byte for byte.
//
// The relations (a schema is an owner; user_id numbers the schemas the
// user may use, pg_catalog, information_schema and pg_* left out: first the
// ones on the search path in its order, so creator 1 is the first schema of
// the search path, then public, then the rest by name):
//   sysuserperms(user_id, user_name)
//   systable(table_id, table_name, table_type, creator)  table_type 'BASE'
//       for tables and partitioned tables (not their partitions), 'VIEW',
//       'MATVIEW', 'FOREIGN'; table_id is the table's OID
//   syscolumn(table_id, column_id, column_name)  column_id is the column's
//       number in the table, in definition order (gaps where columns were
//       dropped)
//   sysprocedure(proc_id, proc_name, creator)  functions and procedures,
//       one row per name and schema however many overloads it has
std::string PgRewriteCatalog(std::string_view SQL, std::uint32_t Relations);

// A query whose one-column rows name the catalog relations that a schema
// "sys" of the database holds itself; those are left to it.
extern const char* const PgOwnCatalogQuery;

} // namespace ztl
