// The ztl program's output of result sets: the row sources, the three
// formats and the progress line.
#include "tools/ztl/ResultPrinter.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"
#include "framework/db/DataSet.h"
#include "framework/db/Fields.h"
#include "framework/variant/DateUtils.h"

namespace ztl::cli {

namespace {

// Rows read before the table's column widths are fixed.
constexpr std::size_t WidthSample = 500;
// The progress line waits this long before it first appears, and at
// least this long between redraws.
constexpr std::chrono::milliseconds ProgressDelay{500};
constexpr std::chrono::milliseconds ProgressInterval{250};

TValueKind KindOf(TZantrelFieldTypes Type) {
  switch (Type) {
  case ntInteger:
  case ntInt64:
    return vkInteger;
  case ntFloat:
    return vkReal;
  case ntCurrency:
    return vkAmount;
  case ntDate:
    return vkDate;
  case ntTime:
    return vkTime;
  case ntDateTime:
    return vkDateTime;
  case ntBoolean:
    return vkBoolean;
  case ntBinary:
  case ntBlob:
    return vkBytes;
  default:
    return vkText;
  }
}

TValueKind KindOf(TFieldType Type) {
  switch (Type) {
  case ftSmallint:
  case ftInteger:
  case ftWord:
  case ftAutoInc:
  case ftLargeint:
    return vkInteger;
  case ftFloat:
  case ftBCD:
    return vkReal;
  case ftCurrency:
    return vkAmount;
  case ftDate:
    return vkDate;
  case ftTime:
    return vkTime;
  case ftDateTime:
    return vkDateTime;
  case ftBoolean:
    return vkBoolean;
  case ftBytes:
  case ftVarBytes:
  case ftBlob:
  case ftGraphic:
  case ftTypedBinary:
    return vkBytes;
  default:
    return vkText;
  }
}

// Width of a text on a terminal: UTF-8 continuation bytes take no column.
std::size_t DisplayWidth(const std::string& S) {
  return static_cast<std::size_t>(std::count_if(
      S.begin(), S.end(), [](char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }));
}

// Text with line breaks, tabs and other control characters made visible,
// so that every table row stays on one line.
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

// The bytes of a binary value, whether it arrives as a byte array or as a
// string of bytes.
std::string RawBytes(const Variant& V) {
  if (V.VarType() != (varArray | varByte))
    return V.AsString();
  const std::span<const std::uint8_t> B = V.Bytes();
  return std::string(B.begin(), B.end());
}

std::string Hex(const std::string& Bytes) {
  std::string Out;
  char Buf[4];
  for (const char Byte : Bytes) {
    std::snprintf(Buf, sizeof Buf, "%02X", static_cast<unsigned char>(Byte));
    Out += Buf;
  }
  return Out;
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

std::string Real(double D) {
  char Buf[32];
  const auto R = std::to_chars(Buf, Buf + sizeof Buf, D);
  return std::string(Buf, R.ptr);
}

// A date, a time or both as the databases write them: a date without its
// midnight, a time without its day, seconds' fractions only when there
// are some. A value outside the calendar prints as its number.
std::string Moment(const Variant& V, TValueKind Kind) {
  const TDateTime Value = V.AsDateTime();
  int Y, Mo, D, H, Mi, S, Ms;
  try {
    if (!(std::trunc(Value) >= MinDateTime && Value <= MaxDateTime + 1))
      return V.AsString();
    DecodeDateTime(Value, Y, Mo, D, H, Mi, S, Ms);
  } catch (const Exception&) {
    return V.AsString();
  }
  if (Y < 1 || Y > 9999)
    return V.AsString();
  const bool HasTime = H != 0 || Mi != 0 || S != 0 || Ms != 0;
  const bool HasDate = std::floor(Value + 0.5 / MSecsPerDay) != 0.0;
  char Buf[40];
  int N;
  if (Kind == vkDate && !HasTime)
    N = std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, Mo, D);
  else if (Kind == vkTime && !HasDate)
    N = std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d", H, Mi, S);
  else
    N = std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d", Y, Mo, D, H, Mi, S);
  if (Ms != 0)
    N += std::snprintf(Buf + N, sizeof Buf - static_cast<std::size_t>(N), ".%03d", Ms);
  return std::string(Buf, static_cast<std::size_t>(N));
}

// A value's text as every format shares it; bytes and Booleans differ by
// format and are left to the callers.
std::string PlainText(const TResultColumn& Col, const Variant& V) {
  switch (Col.Kind) {
  case vkInteger:
    return std::to_string(V.AsInt64());
  case vkReal:
    return Real(V.AsDouble());
  case vkAmount:
    return Amount(V.AsCurrency(), Col.Decimals);
  case vkDate:
  case vkTime:
  case vkDateTime:
    return Moment(V, Col.Kind);
  default:
    return V.AsString();
  }
}

std::string TableCell(const TResultColumn& Col, const TCell& Cell) {
  if (Cell.Null)
    return "NULL";
  if (Col.Kind == vkBoolean)
    return LoadZtlStr(Cell.Value.AsBoolean() ? ZTL_TXT_TRUE : ZTL_TXT_FALSE);
  if (Col.Kind == vkBytes) {
    if (Cell.Value.VarType() != (varArray | varByte))
      return Printable(Cell.Value.AsString());
    const std::string B = RawBytes(Cell.Value);
    return B.size() > 16 ? "(blob, " + std::to_string(B.size()) + " bytes)" : "x'" + Hex(B) + "'";
  }
  return Col.Kind == vkText ? Printable(PlainText(Col, Cell.Value)) : PlainText(Col, Cell.Value);
}

bool RightAligned(TValueKind Kind) {
  return Kind == vkInteger || Kind == vkReal || Kind == vkAmount;
}

std::string CsvField(const std::string& Text) {
  if (!Text.empty() && Text.find_first_of(",\"\r\n") == std::string::npos)
    return Text;
  std::string Out = "\"";
  for (const char C : Text) {
    if (C == '"')
      Out += '"';
    Out += C;
  }
  return Out + '"';
}

std::string CsvCell(const TResultColumn& Col, const TCell& Cell) {
  if (Cell.Null)
    return {};
  if (Col.Kind == vkBoolean)
    return Cell.Value.AsBoolean() ? "true" : "false";
  if (Col.Kind == vkBytes)
    return CsvField(Hex(RawBytes(Cell.Value)));
  return CsvField(PlainText(Col, Cell.Value));
}

std::string JsonString(const std::string& Text) {
  std::string Out = "\"";
  for (const char C : Text) {
    const auto U = static_cast<unsigned char>(C);
    if (C == '"' || C == '\\') {
      Out += '\\';
      Out += C;
    } else if (C == '\n') {
      Out += "\\n";
    } else if (C == '\r') {
      Out += "\\r";
    } else if (C == '\t') {
      Out += "\\t";
    } else if (U < 0x20 || U == 0x7F) {
      char Buf[8];
      std::snprintf(Buf, sizeof Buf, "\\u%04X", U);
      Out += Buf;
    } else {
      Out += C;
    }
  }
  return Out + '"';
}

std::string JsonCell(const TResultColumn& Col, const TCell& Cell) {
  if (Cell.Null)
    return "null";
  switch (Col.Kind) {
  case vkBoolean:
    return Cell.Value.AsBoolean() ? "true" : "false";
  case vkBytes:
    return JsonString(Hex(RawBytes(Cell.Value)));
  case vkReal: {
    // JSON has no NaN or infinity: they stay readable as text.
    const double D = Cell.Value.AsDouble();
    return std::isfinite(D) ? Real(D) : JsonString(Real(D));
  }
  case vkInteger:
  case vkAmount:
    return PlainText(Col, Cell.Value);
  default:
    return JsonString(PlainText(Col, Cell.Value));
  }
}

// The table format: the first rows are held back until the widths are
// known.
class TTableWriter {
public:
  TTableWriter(const std::vector<TResultColumn>& ACols, std::ostream& AOut, TProgress& AProgress)
      : Cols(ACols), Out(AOut), Progress(AProgress) {
    for (const TResultColumn& Col : Cols)
      Widths.push_back(DisplayWidth(Col.Name));
  }

  void Row(const std::vector<TCell>& Row) {
    std::vector<std::string> Cells;
    for (std::size_t I = 0; I < Cols.size(); ++I) {
      Cells.push_back(TableCell(Cols[I], Row[I]));
      if (!Printed)
        Widths[I] = std::max(Widths[I], DisplayWidth(Cells.back()));
    }
    if (Printed) {
      Progress.BeforeOutput();
      Line(Cells, false);
      return;
    }
    Sample.push_back(std::move(Cells));
    if (Sample.size() >= WidthSample)
      Head();
  }

  void Finish(std::uint64_t Rows) {
    if (!Printed)
      Head();
    Progress.BeforeOutput();
    Out << '(' << Rows << (Rows == 1 ? " row)" : " rows)") << '\n';
  }

private:
  void Line(const std::vector<std::string>& Cells, bool Header) {
    std::string Text;
    for (std::size_t I = 0; I < Cells.size(); ++I) {
      const std::size_t W = DisplayWidth(Cells[I]);
      const std::size_t Pad = Widths[I] > W ? Widths[I] - W : 0;
      if (I > 0)
        Text += " | ";
      if (!Header && RightAligned(Cols[I].Kind))
        Text.append(Pad, ' ').append(Cells[I]);
      else if (I + 1 < Cells.size())
        Text.append(Cells[I]).append(Pad, ' ');
      else
        Text.append(Cells[I]); // no trailing blanks at the end of a line
    }
    Out << Text << '\n';
  }

  void Head() {
    Progress.BeforeOutput();
    std::vector<std::string> Names;
    for (const TResultColumn& Col : Cols)
      Names.push_back(Col.Name);
    Line(Names, true);
    std::string Rule;
    for (std::size_t I = 0; I < Widths.size(); ++I) {
      if (I > 0)
        Rule += "-+-";
      Rule.append(Widths[I], '-');
    }
    Out << Rule << '\n';
    for (const auto& Cells : Sample)
      Line(Cells, false);
    Sample.clear();
    Printed = true;
  }

  const std::vector<TResultColumn>& Cols;       // the columns
  std::ostream& Out;                            // where the table goes
  TProgress& Progress;                          // told before each output line
  std::vector<std::size_t> Widths;              // column widths
  std::vector<std::vector<std::string>> Sample; // rows held back
  bool Printed = false;                         // the header is out
};

} // namespace

// ---- Row sources ---------------------------------------------------------------------------

TCursorRows::TCursorRows(TZantrelSQL& ACursor) : Cursor(ACursor) {
  for (const TZantrelFieldDef* Def : Cursor.GetFieldDefs()) {
    if (Def->KeyIndicator == kiHiddenKeyField)
      continue;
    Indexes.push_back(Def->Index);
    Cols.push_back({Def->Name, KindOf(Def->FieldType), Def->Decimals});
  }
  Cursor.MoveToFirst();
}

bool TCursorRows::Next(std::vector<TCell>& Row) {
  if (!Cursor.FetchNext()) {
    if (!Cursor.GetEof())
      throw Exception(Cursor.GetLastError());
    return false;
  }
  Row.resize(Cols.size());
  for (std::size_t I = 0; I < Cols.size(); ++I) {
    const Variant Field(Indexes[I]);
    Row[I].Null = Cursor.IsFieldNull(Field);
    if (!Row[I].Null)
      Row[I].Value = Cursor.GetFieldValue(Field);
  }
  return true;
}

TDataSetRows::TDataSetRows(TDataSet& ADataSet) : DataSet(ADataSet) {
  for (int I = 0; I < DataSet.FieldCount(); ++I) {
    const TField* Field = DataSet.Fields()[I];
    Cols.push_back({Field->FieldName(), KindOf(Field->DataType()), 4});
  }
}

bool TDataSetRows::Next(std::vector<TCell>& Row) {
  if (Started)
    DataSet.Next();
  Started = true;
  if (DataSet.Eof())
    return false;
  Row.resize(Cols.size());
  for (std::size_t I = 0; I < Cols.size(); ++I) {
    const TField* Field = DataSet.Fields()[static_cast<int>(I)];
    Row[I].Null = Field->IsNull();
    if (!Row[I].Null)
      Row[I].Value = Field->AsVariant();
  }
  return true;
}

bool TFixedRows::Next(std::vector<TCell>& Row) {
  if (Taken >= Rows.size())
    return false;
  Row = Rows[Taken++];
  return true;
}

// ---- Progress ------------------------------------------------------------------------------

TProgress::TProgress(bool AEnabled, bool AOutputIsTerminal)
    : Enabled(AEnabled), OutputIsTerminal(AOutputIsTerminal), Start(TClock::now()),
      LastDraw(Start) {}

TProgress::~TProgress() {
  Finish();
}

void TProgress::Tick(std::uint64_t Rows) {
  if (!Enabled)
    return;
  const TClock::time_point Now = TClock::now();
  if (Now - Start < ProgressDelay || (Shown && Now - LastDraw < ProgressInterval))
    return;
  LastDraw = Now;
  Shown = true;
  std::cerr << "\r\033[K" << Rows << (Rows == 1 ? " row" : " rows") << " fetched..." << std::flush;
}

void TProgress::BeforeOutput() {
  // On a shared terminal the line would only flicker between output lines.
  if (OutputIsTerminal) {
    Finish();
    Enabled = false;
  }
}

void TProgress::Finish() {
  if (Shown) {
    std::cerr << "\r\033[K" << std::flush;
    Shown = false;
  }
}

// ---- Formats -------------------------------------------------------------------------------

bool PrintRows(TRowSource& Source, TOutputFormat Format, std::ostream& Out, TProgress& Progress,
               std::string& Error) {
  const std::vector<TResultColumn>& Cols = Source.Columns();
  TTableWriter Table(Cols, Out, Progress);
  std::vector<std::string> Keys; // JSON object keys; the cursors keep column names apart
  for (const TResultColumn& Col : Cols)
    Keys.push_back(JsonString(Col.Name));
  if (Format == ofCsv) {
    std::string Head;
    for (std::size_t I = 0; I < Cols.size(); ++I)
      Head += (I > 0 ? "," : "") + CsvField(Cols[I].Name);
    Progress.BeforeOutput();
    Out << Head << '\n';
  } else if (Format == ofJson) {
    Progress.BeforeOutput();
    Out << '[';
  }
  std::uint64_t Rows = 0;
  bool Ok = true;
  std::vector<TCell> Row;
  for (;;) {
    try {
      if (!Source.Next(Row))
        break;
    } catch (const std::exception& E) {
      Error = E.what();
      Ok = false;
      break;
    }
    ++Rows;
    Progress.Tick(Rows);
    if (Format == ofTable) {
      Table.Row(Row);
      continue;
    }
    std::string Text;
    for (std::size_t I = 0; I < Cols.size(); ++I) {
      if (Format == ofCsv)
        Text += (I > 0 ? "," : "") + CsvCell(Cols[I], Row[I]);
      else
        Text += (I > 0 ? "," : "") + Keys[I] + ":" + JsonCell(Cols[I], Row[I]);
    }
    Progress.BeforeOutput();
    if (Format == ofCsv)
      Out << Text << '\n';
    else
      Out << (Rows > 1 ? ",\n" : "\n") << '{' << Text << '}';
  }
  Progress.Finish();
  if (Format == ofTable)
    Table.Finish(Rows);
  else if (Format == ofJson)
    Out << (Rows > 0 ? "\n]\n" : "]\n");
  return Ok;
}

void PrintAffected(std::int64_t Rows, TOutputFormat Format, std::ostream& Out) {
  switch (Format) {
  case ofTable:
    Out << Rows << (Rows == 1 ? " row" : " rows") << " affected\n";
    break;
  case ofCsv:
    Out << "rows_affected\n" << Rows << '\n';
    break;
  case ofJson:
    Out << "{\"rows_affected\":" << Rows << "}\n";
    break;
  }
}

} // namespace ztl::cli
