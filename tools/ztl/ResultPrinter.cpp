// The ztl program's table output of result sets.
#include "tools/ztl/ResultPrinter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteTypes_p.h"
#include "drivers/sqlite/ZtlSQLite.h"

namespace ztl::cli {

namespace {

// Rows read before the column widths are fixed.
constexpr std::size_t WidthSample = 500;

// Width of a text on a terminal: UTF-8 continuation bytes take no column.
std::size_t DisplayWidth(const std::string& S) {
  return static_cast<std::size_t>(std::count_if(
      S.begin(), S.end(), [](char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }));
}

// Text with line breaks, tabs and other control characters made visible,
// so that every row stays on one line.
std::string Printable(const std::string& S) {
  std::string Out;
  Out.reserve(S.size());
  for (const char C : S) {
    const auto U = static_cast<unsigned char>(C);
    if (C == '\n')
      Out += "\\n";
    else if (C == '\r')
      Out += "\\r";
    else if (C == '\t')
      Out += "\\t";
    else if (U < 0x20 || U == 0x7F) {
      char Buf[8];
      std::snprintf(Buf, sizeof Buf, "\\x%02X", U);
      Out += Buf;
    } else
      Out += C;
  }
  return Out;
}

std::string Bytes(const Variant& V) {
  if (V.VarType() != (varArray | varByte))
    return Printable(V.AsString());
  const std::span<const std::uint8_t> B = V.Bytes();
  if (B.size() > 16)
    return "(blob, " + std::to_string(B.size()) + " bytes)";
  std::string Out = "x'";
  char Buf[4];
  for (const std::uint8_t Byte : B) {
    std::snprintf(Buf, sizeof Buf, "%02X", Byte);
    Out += Buf;
  }
  return Out + "'";
}

// An amount with at least Decimals decimals (and all it has, up to four).
std::string Amount(Currency C, std::int32_t Decimals) {
  std::int64_t Raw = C.Raw();
  const bool Negative = Raw < 0;
  const std::uint64_t Abs =
      Negative ? 0 - static_cast<std::uint64_t>(Raw) : static_cast<std::uint64_t>(Raw);
  std::string Fraction = std::to_string(Abs % 10000);
  Fraction.insert(0, 4 - Fraction.size(), '0');
  const std::size_t Keep = static_cast<std::size_t>(std::clamp(Decimals, 0, 4));
  while (Fraction.size() > Keep && Fraction.back() == '0')
    Fraction.pop_back();
  std::string Out = (Negative ? "-" : "") + std::to_string(Abs / 10000);
  return Fraction.empty() ? Out : Out + "." + Fraction;
}

std::string Cell(TZantrelSQLiteSQL& Cursor, const TZantrelFieldDef& Def) {
  const Variant Field(Def.Index);
  if (Cursor.IsFieldNull(Field))
    return "NULL";
  const Variant V = Cursor.GetFieldValue(Field);
  switch (Def.FieldType) {
  case ntInteger:
  case ntInt64:
    return std::to_string(V.AsInt64());
  case ntFloat: {
    char Buf[32];
    const auto R = std::to_chars(Buf, Buf + sizeof Buf, V.AsDouble());
    return std::string(Buf, R.ptr);
  }
  case ntCurrency:
    return Amount(V.AsCurrency(), Def.Decimals);
  case ntDate:
  case ntTime:
  case ntDateTime: {
    char Buf[40];
    const std::int32_t N = SQLiteFormatDateTime(V.AsDateTime(), Def.FieldType, Buf);
    return N > 0 ? std::string(Buf, static_cast<std::size_t>(N)) : V.AsString();
  }
  case ntBoolean:
    return LoadZtlStr(V.AsBoolean() ? ZTL_TXT_TRUE : ZTL_TXT_FALSE);
  case ntBinary:
  case ntBlob:
    return Bytes(V);
  default:
    return Printable(V.AsString());
  }
}

bool RightAligned(TZantrelFieldTypes Type) {
  return Type == ntInteger || Type == ntInt64 || Type == ntFloat || Type == ntCurrency;
}

} // namespace

bool PrintResult(TZantrelSQLiteSQL& Cursor, std::ostream& Out, std::string& Error) {
  std::vector<const TZantrelFieldDef*> Shown;
  for (const TZantrelFieldDef* Def : Cursor.GetFieldDefs())
    if (Def->KeyIndicator != kiHiddenKeyField)
      Shown.push_back(Def);
  std::vector<std::size_t> Widths;
  for (const TZantrelFieldDef* Def : Shown)
    Widths.push_back(DisplayWidth(Def->Name));

  const auto PrintLine = [&](const std::vector<std::string>& Cells, bool Header) {
    std::string Line;
    for (std::size_t I = 0; I < Cells.size(); ++I) {
      const std::size_t Pad =
          Widths[I] > DisplayWidth(Cells[I]) ? Widths[I] - DisplayWidth(Cells[I]) : 0;
      if (I > 0)
        Line += " | ";
      if (!Header && RightAligned(Shown[I]->FieldType))
        Line.append(Pad, ' ').append(Cells[I]);
      else if (I + 1 < Cells.size())
        Line.append(Cells[I]).append(Pad, ' ');
      else
        Line.append(Cells[I]); // no trailing blanks at the end of a line
    }
    Out << Line << '\n';
  };

  std::vector<std::vector<std::string>> Sample;
  std::size_t Rows = 0;
  bool Ok = true;
  bool Printed = false;
  const auto PrintHead = [&] {
    std::vector<std::string> Names;
    for (const TZantrelFieldDef* Def : Shown)
      Names.push_back(Def->Name);
    PrintLine(Names, true);
    std::string Rule;
    for (std::size_t I = 0; I < Widths.size(); ++I) {
      if (I > 0)
        Rule += "-+-";
      Rule.append(Widths[I], '-');
    }
    Out << Rule << '\n';
    for (const auto& Row : Sample)
      PrintLine(Row, false);
    Sample.clear();
    Printed = true;
  };
  Cursor.MoveToFirst();
  for (;;) {
    if (!Cursor.FetchNext()) {
      if (!Cursor.GetEof()) {
        Ok = false;
        Error = Cursor.GetLastError();
      }
      break;
    }
    std::vector<std::string> Cells;
    for (std::size_t I = 0; I < Shown.size(); ++I) {
      Cells.push_back(Cell(Cursor, *Shown[I]));
      if (!Printed)
        Widths[I] = std::max(Widths[I], DisplayWidth(Cells.back()));
    }
    ++Rows;
    if (Printed) {
      PrintLine(Cells, false);
    } else {
      Sample.push_back(std::move(Cells));
      if (Sample.size() >= WidthSample)
        PrintHead();
    }
  }
  if (!Printed)
    PrintHead();
  Out << '(' << Rows << (Rows == 1 ? " row)" : " rows)") << '\n';
  return Ok;
}

} // namespace ztl::cli
