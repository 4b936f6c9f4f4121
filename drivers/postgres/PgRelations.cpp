// The PostgreSQL session's cache of relation facts and the test that tells
// which commands may have made them stale.
#include "drivers/postgres/PgRelations_p.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "drivers/postgres/PgApi_p.h"

namespace ztl {

TPgRelationFacts PgReadRelationFacts(const PGresult* Res) {
  TPgRelationFacts F;
  if (!Res || Pq().ntuples(Res) < 1)
    return F;
  F.Name = Pq().getvalue(Res, 0, 0);
  const char* Kind = Pq().getvalue(Res, 0, 1);
  F.Kind = Kind && *Kind ? *Kind : '?';
  for (int R = 0; R < Pq().ntuples(Res); ++R) {
    // A relation without columns comes as one row of nulls.
    if (Pq().getisnull(Res, R, 2))
      continue;
    const int Num = std::atoi(Pq().getvalue(Res, R, 2));
    TPgAttribute& A = F.Attributes[Num];
    A.Name = Pq().getvalue(Res, R, 3);
    A.Key = std::strcmp(Pq().getvalue(Res, R, 4), "t") == 0;
    A.Type = static_cast<std::uint32_t>(std::strtoul(Pq().getvalue(Res, R, 5), nullptr, 10));
    A.Mod = std::atoi(Pq().getvalue(Res, R, 6));
    if (A.Key)
      F.KeyColumns.push_back(Num);
  }
  return F;
}

bool PgMayChangeSchema(const char* Tag) {
  if (!Tag || !*Tag)
    return false; // a failed command changed nothing; an empty text neither
  std::string_view T(Tag);
  const std::string_view Word = T.substr(0, T.find(' '));
  // Between blanks, so that only a whole first word is found.
  constexpr std::string_view Harmless =
      " SELECT INSERT UPDATE DELETE MERGE FETCH MOVE COPY BEGIN START COMMIT SAVEPOINT RELEASE "
      "SET SHOW RESET PREPARE EXECUTE DEALLOCATE LISTEN NOTIFY UNLISTEN DECLARE CLOSE ANALYZE "
      "VACUUM EXPLAIN LOCK TRUNCATE CHECKPOINT ";
  std::string Key = " ";
  Key.append(Word);
  Key += ' ';
  return Harmless.find(Key) == std::string_view::npos;
}

TPgRelationFacts* TPgRelationCache::Find(std::uint32_t Oid) {
  const auto It = Facts.find(Oid);
  return It == Facts.end() ? nullptr : &It->second;
}

TPgRelationFacts& TPgRelationCache::Store(std::uint32_t Oid, TPgRelationFacts F) {
  TPgRelationFacts& Kept = Facts[Oid];
  Kept = std::move(F);
  return Kept;
}

} // namespace ztl
