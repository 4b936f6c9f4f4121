// Internal to the PostgreSQL driver: may change without notice.
//
// What a session knows about the tables its cursors read: each relation's
// qualified name, kind, columns and primary key, read from the catalog once
// and kept until the schema may have changed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/postgres/PgResult.h"

namespace ztl {

// One column of a relation.
struct TPgAttribute {
  std::string Name;       // quoted name
  bool Key = false;       // part of the primary key
  std::uint32_t Type = 0; // the type a result column read from it carries
  std::int32_t Mod = -1;  // and its type modifier
};

// A relation as the cursors' row operations need it.
struct TPgRelationFacts {
  std::string Name;                         // quoted, schema-qualified name
  char Kind = 0;                            // pg_class.relkind; 0: no such relation
  std::map<int, TPgAttribute> Attributes;   // by attribute number
  std::vector<int> KeyColumns;              // attribute numbers of the primary key
};

// The facts in a result of TZantrelPgSession::DescribeRelation; Kind 0 when
// it holds no row (the relation is gone).
TPgRelationFacts PgReadRelationFacts(const PGresult* Res);

// False for the command tags (PQcmdStatus) of commands that never change a
// relation's name, columns or key: reading and writing rows, transaction
// control short of a rollback, settings, cursors, maintenance. Every other
// tag (CREATE, ALTER, DROP, ROLLBACK, DO, CALL, what a later server adds)
// may, so an unknown tag is taken as a change.
bool PgMayChangeSchema(const char* Tag);

// A session's facts by relation OID. Entries are never shared between
// sessions: each connection sees its own transaction's catalog.
class TPgRelationCache {
public:
  // The facts kept for Oid, or null.
  TPgRelationFacts* Find(std::uint32_t Oid);
  // Keeps Facts for Oid (replacing what was kept) and returns them.
  TPgRelationFacts& Store(std::uint32_t Oid, TPgRelationFacts Facts);
  void Forget(std::uint32_t Oid) { Facts.erase(Oid); }
  void Clear() { Facts.clear(); }
  std::size_t Size() const { return Facts.size(); }

private:
  std::unordered_map<std::uint32_t, TPgRelationFacts> Facts; // by relation OID
};

} // namespace ztl
