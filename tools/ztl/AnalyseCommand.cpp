// ztl analyse: the statement analysis of the SQL text utilities, shown on the command line.
//
// Output, one line per part, labels padded to one column; a part without items prints "(none)":
//   table:    <first table of the first FROM clause>
//   order by: <item> <ASC|DESC>, <item> <ASC|DESC>, ...
//   params:   <name>, <name>, ...
#include "tools/ztl/Commands.h"

#include <algorithm>
#include <string_view>

#include "sqltext/ZtlUtil.h"

namespace ztl::cli {
namespace {

// Splits a ";"-list the way the package's readers do: every separator ends an item.
std::vector<std::string> SplitList(std::string_view List) {
  std::vector<std::string> Items;
  if (List.empty())
    return Items;
  for (;;) {
    const std::size_t At = List.find(';');
    Items.emplace_back(List.substr(0, At));
    if (At == std::string_view::npos)
      return Items;
    List.remove_prefix(At + 1);
  }
}

// Joins the non-empty pieces with ", ", or "(none)" when there is none.
std::string JoinOrNone(const std::vector<std::string>& Pieces) {
  std::string Line;
  for (const std::string& Piece : Pieces) {
    if (Piece.empty())
      continue;
    if (!Line.empty())
      Line += ", ";
    Line += Piece;
  }
  return Line.empty() ? "(none)" : Line;
}

// Pairs each ORDER BY item with its direction. The analysis can give more directions than
// items (a DESC after no item); an unpaired side is printed alone rather than dropped.
std::string OrderByLine(const std::string& Items, const std::string& Directions) {
  const std::vector<std::string> ItemList = SplitList(Items);
  const std::vector<std::string> DirectionList = SplitList(Directions);
  std::vector<std::string> Pieces(std::max(ItemList.size(), DirectionList.size()));
  for (std::size_t I = 0; I < Pieces.size(); ++I) {
    if (I < ItemList.size())
      Pieces[I] = ItemList[I];
    if (I < DirectionList.size() && !DirectionList[I].empty())
      Pieces[I] += (Pieces[I].empty() ? "" : " ") + DirectionList[I];
  }
  return JoinOrNone(Pieces);
}

} // namespace

int RunAnalyseCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  if (Args.size() != 1) {
    Err << "ztl analyse: expected exactly one SQL statement (quote it), got " << Args.size()
        << " arguments\n";
    return ExitUsage;
  }
  const std::string& SQL = Args[0];
  std::string Directions;
  const std::string OrderBy = ZtlGetOrderByFromSQL(SQL, Directions);
  const std::string Table = ZtlGetTableNameFromSQL(SQL);
  Out << "table:    " << (Table.empty() ? "(none)" : Table) << '\n';
  Out << "order by: " << OrderByLine(OrderBy, Directions) << '\n';
  Out << "params:   " << JoinOrNone(SplitList(ZtlGetParamsFromSQL(SQL))) << '\n';
  return ExitSuccess;
}

} // namespace ztl::cli
