// Printing rows (of a cursor, a dataset, a list) as an aligned text table,
// as CSV or as JSON, with a progress line on a terminal while they come.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "framework/variant/Variants.h"

namespace ztl {
class TZantrelSQL;
class TDataSet;
} // namespace ztl

namespace ztl::cli {

// The output formats.
enum TOutputFormat { ofTable, ofCsv, ofJson };

// How a column's values are written.
enum TValueKind {
  vkText,
  vkInteger,
  vkReal,
  vkAmount,
  vkDate,
  vkTime,
  vkDateTime,
  vkBoolean,
  vkBytes
};

struct TResultColumn {
  std::string Name;          // the heading
  TValueKind Kind = vkText;  // how its values print
  std::int32_t Decimals = 0; // decimals an amount shows at least
};

struct TCell {
  bool Null = true; // SQL NULL; Value is then not read
  Variant Value;    // the value
};

// Rows to print, one at a time.
class TRowSource {
public:
  virtual ~TRowSource() = default;
  virtual const std::vector<TResultColumn>& Columns() const = 0;
  // Fills Row with the next row (one cell per column); false at the end.
  // Raises when reading fails.
  virtual bool Next(std::vector<TCell>& Row) = 0;
};

// The rows of an open cursor, positioned before its first row; hidden key
// columns are left out.
class TCursorRows : public TRowSource {
public:
  explicit TCursorRows(TZantrelSQL& ACursor);
  const std::vector<TResultColumn>& Columns() const override { return Cols; }
  bool Next(std::vector<TCell>& Row) override;

private:
  TZantrelSQL& Cursor;               // the open cursor
  std::vector<std::int32_t> Indexes; // field index of each shown column
  std::vector<TResultColumn> Cols;   // the shown columns
};

// The rows of an open dataset, from its current record on.
class TDataSetRows : public TRowSource {
public:
  explicit TDataSetRows(TDataSet& ADataSet);
  const std::vector<TResultColumn>& Columns() const override { return Cols; }
  bool Next(std::vector<TCell>& Row) override;

private:
  TDataSet& DataSet;               // the open dataset
  std::vector<TResultColumn> Cols; // one per field
  bool Started = false;            // the first record was read
};

// Given rows: a list of names, output parameters.
class TFixedRows : public TRowSource {
public:
  explicit TFixedRows(std::vector<TResultColumn> AColumns) : Cols(std::move(AColumns)) {}
  void Add(std::vector<TCell> Row) { Rows.push_back(std::move(Row)); }
  const std::vector<TResultColumn>& Columns() const override { return Cols; }
  bool Next(std::vector<TCell>& Row) override;

private:
  std::vector<TResultColumn> Cols;      // the columns
  std::vector<std::vector<TCell>> Rows; // the rows, in order
  std::size_t Taken = 0;                // rows handed out
};

// A line on standard error counting the rows read, for long statements
// on a terminal. It appears only after the statement has run for a while,
// is redrawn a few times a second at most and is wiped when the rows are
// all read. Output to a file or a pipe never holds it; when the output is
// the same terminal, the line goes for good before the first output line.
class TProgress {
public:
  // Shown only when Enabled (standard error is a terminal).
  TProgress(bool Enabled, bool OutputIsTerminal);
  ~TProgress();
  // Rows read so far; draws the line when it is due.
  void Tick(std::uint64_t Rows);
  // Output is about to be written.
  void BeforeOutput();
  // Wipes the line.
  void Finish();

private:
  using TClock = std::chrono::steady_clock;
  bool Enabled;                // may draw at all
  bool OutputIsTerminal;       // output shares the terminal
  bool Shown = false;          // the line stands on the terminal
  TClock::time_point Start;    // when the statement began
  TClock::time_point LastDraw; // when the line was last drawn
};

// Prints every row of Source in Format. Table: a header, a rule, one line
// per row with NULL for nulls and numbers aligned right, and "(N rows)";
// widths come from the first rows, a longer value later widens only its
// own line. CSV: a header line, then one line per row; NULL is an empty
// field, an empty text is "". JSON: an array of one object per row, NULL
// as null and numbers as numbers. Returns false, with Error set, when
// reading a row fails (the rows before it are printed).
bool PrintRows(TRowSource& Source, TOutputFormat Format, std::ostream& Out, TProgress& Progress,
               std::string& Error);

// Prints the count of rows a statement changed.
void PrintAffected(std::int64_t Rows, TOutputFormat Format, std::ostream& Out);

} // namespace ztl::cli
