// The PostgreSQL driver's stored-procedure component: the catalog query
// that describes a function's or procedure's arguments, and the call
// statement built from the parameters.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dataset/ZtlCheckError.h"
#include "drivers/postgres/PgDataset.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

namespace {

// Text as a string literal that reads the same whatever the server's
// standard_conforming_strings says.
std::string Literal(const std::string& Text) {
  std::string S = "E'";
  for (const char C : Text) {
    if (C == '\'' || C == '\\')
      S += C;
    S += C;
  }
  return S + "'";
}

// Text as a quoted identifier.
std::string Identifier(const std::string& Text) {
  std::string S = "\"";
  for (const char C : Text) {
    if (C == '"')
      S += C;
    S += C;
  }
  return S + "\"";
}

// The routine a StoredProcName of Owner (possibly empty) and the parameter
// ":proc" names: one row of pg_proc with the columns the queries below use.
// A name matches as written or folded to lower case, the exact spelling
// first; then the earliest schema (of the search path, when no owner is
// given), then the oldest routine.
std::string RoutineSelection(const std::string& Owner) {
  std::string Where;
  std::string Rank;
  if (Owner.empty()) {
    Where = "n.nspname = ANY (pg_catalog.current_schemas(true))";
    Rank = "pg_catalog.array_position(pg_catalog.current_schemas(true), n.nspname)";
  } else if (std::memchr(Owner.data(), 0, Owner.size())) {
    // No schema name holds a NUL, and the literal would end at it.
    Where = "false";
    Rank = "0";
  } else {
    const std::string Lit = Literal(Owner);
    Where = "n.nspname IN (" + Lit + ", pg_catalog.lower(" + Lit + "))";
    Rank = "n.nspname = " + Lit + " DESC";
  }
  return "SELECT p.prokind, p.prorettype, p.proargnames AS names, p.proargmodes AS modes, "
         "coalesce(p.proallargtypes, p.proargtypes::oid[]) AS types, "
         "(pg_catalog.quote_ident(n.nspname) || '.' || "
         "pg_catalog.quote_ident(p.proname))::varchar(400) AS qualified "
         "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
         "WHERE p.proname IN (pg_catalog.btrim(:proc), pg_catalog.lower(pg_catalog.btrim(:proc))) "
         "AND " +
         Where + " ORDER BY p.proname = pg_catalog.btrim(:proc) DESC, " + Rank + ", p.oid LIMIT 1";
}

// A name that the cursor's marker scanner reads whole after a colon.
bool PlainName(const std::string& Name) {
  if (Name.empty() || (Name[0] >= '0' && Name[0] <= '9'))
    return false;
  for (const char C : Name) {
    const auto U = static_cast<unsigned char>(C);
    if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' ||
          U >= 128))
      return false;
  }
  return true;
}

// The markers' names of an argument list ":a,:b".
std::vector<std::string> ArgNames(const std::string& ArgList) {
  std::vector<std::string> Names;
  if (ArgList.empty())
    return Names;
  std::size_t From = ArgList[0] == ':' ? 1 : 0;
  for (;;) {
    const std::size_t Next = ArgList.find(",:", From);
    Names.push_back(ArgList.substr(From, Next == std::string::npos ? Next : Next - From));
    if (Next == std::string::npos)
      return Names;
    From = Next + 2;
  }
}

} // namespace

TZantrelPgStoredProc::TZantrelPgStoredProc(TComponent* AOwner) : TZantrelCustomStoredProc(AOwner) {
  ConstructSQL();
}

TZantrelPgStoredProc::~TZantrelPgStoredProc() {
  DestroyDataset();
}

std::unique_ptr<TZantrelSQL> TZantrelPgStoredProc::CreateSQL() {
  auto SQL = std::make_unique<TZantrelPgDatasetSQL>();
  if (TZantrelSession* Session = GetSession())
    SQL->SetSession(Session);
  return SQL;
}

void TZantrelPgStoredProc::ReadFieldData(const TZantrelFieldDef& FieldDef,
                                         const std::uint8_t* Source, void* Dest,
                                         std::size_t DestSize) {
  PgReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TZantrelPgStoredProc::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                          const void* Source, std::size_t DataSize) {
  PgWriteFieldData(FieldDef, Dest, Source, DataSize);
}

std::string TZantrelPgStoredProc::GetParamDescSQL(const std::string& Owner) {
  // Arguments in declaration order, then the catalog codes of their types
  // (a domain counts as its base type). Unnamed outputs are named as the
  // server names their result columns: columnN, counting outputs only.
  return "WITH r AS (" + RoutineSelection(Owner) +
         "), a AS (SELECT t.pos, t.type, coalesce(r.modes[t.pos], 'i') AS mode, "
         "coalesce(r.names[t.pos], '') AS name "
         "FROM r, unnest(r.types) WITH ORDINALITY AS t(type, pos)), "
         "d AS (SELECT a.pos, (CASE WHEN a.name <> '' THEN a.name "
         "WHEN a.mode IN ('i', 'v') THEN 'arg' || a.pos "
         "ELSE 'column' || count(*) FILTER (WHERE a.mode IN ('o', 'b', 't')) "
         "OVER (ORDER BY a.pos) END) AS parm_name, "
         "CASE a.mode WHEN 'i' THEN 1 WHEN 'v' THEN 1 WHEN 'b' THEN 2 ELSE 3 END AS parm_type, "
         "a.type FROM a "
         "UNION ALL SELECT 0, 'result', 4, r.prorettype FROM r "
         "JOIN pg_catalog.pg_type rt ON rt.oid = r.prorettype "
         "WHERE r.prokind = 'f' AND rt.typtype IN ('b', 'd', 'e', 'r', 'm') "
         "AND NOT EXISTS (SELECT 1 FROM a WHERE a.mode IN ('o', 'b', 't'))) "
         "SELECT d.parm_name::name AS parm_name, d.parm_type, "
         "CASE CASE WHEN ty.typtype = 'd' THEN ty.typbasetype ELSE d.type END "
         "WHEN 21 THEN 1 WHEN 23 THEN 1 WHEN 20 THEN 20 WHEN 26 THEN 20 "
         "WHEN 700 THEN 3 WHEN 701 THEN 3 WHEN 1700 THEN 3 WHEN 790 THEN 3 WHEN 16 THEN 24 "
         "WHEN 1082 THEN 6 WHEN 1083 THEN 14 WHEN 1266 THEN 14 WHEN 1114 THEN 13 "
         "WHEN 1184 THEN 13 WHEN 17 THEN 12 ELSE 7 END AS data_type "
         "FROM d LEFT JOIN pg_catalog.pg_type ty ON ty.oid = d.type ORDER BY d.pos";
}

void TZantrelPgStoredProc::BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) {
  // The same split of the name as the description's.
  const std::string& Full = GetStoredProcName();
  std::string Owner;
  std::string Name = Full;
  if (const std::size_t Dot = Full.find('.'); Dot != std::string::npos) {
    Owner = Trim(std::string_view(Full).substr(0, Dot));
    Name = Full.substr(Dot + 1);
  }

  std::string Kind = "f";
  std::string Routine = (Owner.empty() ? "" : Identifier(Owner) + ".") + Identifier(Trim(Name));
  {
    const std::unique_ptr<TZantrelSQL> Lookup = CreateSQL();
    Lookup->SetSession(GetSession());
    const Variant NameValue(Name);
    const std::string Text =
        "WITH r AS (" + RoutineSelection(Owner) + ") SELECT r.prokind, r.qualified FROM r";
    if (!Lookup->Open(Text, TZtlVarParams(NameValue), true))
      ZantrelCheckError(Lookup->GetLastError(), Lookup->GetLastErrorCode(),
                        Lookup->GetLastSQLState());
    else if (Lookup->FetchNext()) {
      Kind = TZantrelSQL::SetVarToStr(Lookup->GetFieldValue(Variant("prokind")));
      Routine = TZantrelSQL::SetVarToStr(Lookup->GetFieldValue(Variant("qualified")));
    } else if (!Lookup->GetEof()) {
      ZantrelCheckError(Lookup->GetLastError(), Lookup->GetLastErrorCode(),
                        Lookup->GetLastSQLState());
    }
  }
  const bool Procedure = Kind == "p";

  // Functions take their inputs only; procedures want a placeholder in the
  // place of each output as well. Inputs are ":name" markers; when one name
  // is no marker the scanner reads whole, every input is a "?" instead, since
  // a text with named markers reads "?" as the server's operator (the values
  // go in argument order either way).
  std::vector<std::pair<std::string, bool>> Pieces; // argument, is an output
  bool AllPlain = true;
  for (const std::string& Arg : ArgNames(ArgList)) {
    TZantrelParamType Type = nptInput;
    for (int I = 0; I < GetParams()->Count(); ++I) {
      const TZantrelParam* P = GetParams()->GetParam(I);
      std::string Alias = P->GetAlias();
      if (!Alias.empty() && Alias.front() == '@')
        Alias.erase(0, 1);
      if (Alias == Arg) {
        Type = P->GetParamType();
        break;
      }
    }
    Pieces.emplace_back(Arg, Type == nptOutput);
    AllPlain = AllPlain && (Type == nptOutput || PlainName(Arg));
  }
  std::string Args;
  for (const auto& [Arg, Output] : Pieces) {
    std::string Piece;
    if (Output)
      Piece = Procedure ? "NULL" : "";
    else
      Piece = AllPlain ? ":" + Arg : "?";
    if (!Piece.empty())
      Args += (Args.empty() ? "" : ", ") + Piece;
  }

  std::string Call = Procedure ? "CALL " + Routine + "(" + Args + ")"
                               : "SELECT * FROM " + Routine + "(" + Args + ")";
  if (!Procedure && ResultPart.size() > 1)
    Call += " AS " + Identifier(ResultPart.substr(1));
  GetSQL()->SetText(Call);
}

} // namespace ztl
