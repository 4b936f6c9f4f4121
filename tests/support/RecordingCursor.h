// The recording test driver's cursor and blob stream: a result held in
// memory, a simple row format of its own, and every driver call written to
// the log shared with the recording session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ZtlSQL.h"
#include "tests/support/RecordingDriver.h"

namespace ztl {

// A result column as the recording "server" describes it.
struct TRecordingColumn {
  std::string Name;                          // column name as the server reports it
  TZantrelFieldTypes Type = ntInteger;       // logical type
  std::int32_t Length = 0;                   // declared length (strings, binaries)
  bool Nulls = true;                         // the column accepts nulls
  TZantrelKeyIndicator Key = kiRegularField; // key role
};

// The blob stream of the recording driver. Fetched data is loaded with
// LoadData (not Modified), so GetBlobSize reports whatever the stream holds,
// fetched or written, and Read serves it.
class TRecordingBlobStream : public TZantrelBlobStream {
public:
  using TZantrelBlobStream::TZantrelBlobStream;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t GetBlobSize() override { return Size; }
};

// The cursor of the recording driver, and the example a driver author reads.
//
// The "server" is a result set held in memory (SetResult): every statement
// prepared as a cursor describes those columns, opening it serves those
// rows, and UpdateRecord/InsertRecord/DeleteRecord change them. Executable
// statements produce the output variables set with SetOutputs.
//
// Row format (the driver's own, as every driver chooses one):
//   ntString             Length + 1 bytes, NUL-terminated (Length 0: 20)
//   ntInteger            4 bytes, little-endian
//   ntInt64, ntCurrency  8 bytes, little-endian (Currency scaled by 10 000)
//   ntFloat, ntDate,
//   ntTime, ntDateTime   8 bytes, an IEEE double (dates as date-times)
//   ntBoolean            1 byte, 0 or 1
//   ntBinary             Length bytes, zero-padded (Length 0: 16)
//   ntMemo, ntBlob       no bytes: the data is in the column's blob stream
// Null indicators: one byte per column, 0 for a value, anything else null
// (so the base's all-255 area means all null).
// Host variables use the same encodings at the default sizes below; a memo
// or blob variable holds its bytes (no terminator) in the bind buffer.
//
// Fetching goes through the fetch buffer: up to FetchRows (= MaxFetchCount)
// rows are encoded into it at once, and the current row is copied from it.
// Rows are numbered from 0, the way the dataset's bookmarks count them:
// RecNo is the current row's number (-1 off either end, where Bof or Eof is
// set; an empty result sets both) and InternalMoveTo(Row) positions on row
// Row for the FetchCurrent that follows.
//
// Log: every driver call is written, in order, as its name, with arguments
// where they matter ("InternalOpen(True)", "InternalPrepareOpen(select 1)",
// "InternalMoveTo(3)", "SetNull(2,False)"). The answer-only queries
// (InternalGetDefaultSize, InternalGetExtType, InternalGetValue, IsNull) are
// not written. Any written call can be made to fail through the log.
class TRecordingSQL : public TZantrelSQL {
public:
  // Default bind sizes of host variables.
  static constexpr std::int32_t DefaultStringSize = 32;
  static constexpr std::int32_t DefaultBinarySize = 16;

  // Shares Session's log and links to Session (when given).
  explicit TRecordingSQL(TRecordingSession* Session, TComponent* AOwner = nullptr);
  // A cursor without a session, writing to Log (a fresh one when none).
  explicit TRecordingSQL(TComponent* AOwner = nullptr,
                         std::shared_ptr<TRecordingLog> Log = nullptr);
  ~TRecordingSQL() override;

  TRecordingLog& GetLog() const { return *Log; }

  // The dialect the dataset's marker scan follows (the classic one unless set).
  TZantrelMarkerRules MarkerRules;
  TZantrelMarkerRules GetMarkerRules() const override { return MarkerRules; }
  // How the "server" orders every text column (not known unless set).
  TZantrelCollation TextCollation = coUnknown;
  TZantrelCollation GetColumnCollation(std::int32_t) const override { return TextCollation; }

  // The result every cursor statement describes from now on.
  void SetResult(std::vector<TRecordingColumn> Columns, std::vector<std::vector<Variant>> Rows);
  const std::vector<std::vector<Variant>>& GetRows() const { return Rows; }
  // Output variables an execution produces: name and value (the type
  // follows the value as for input variables).
  void SetOutputs(std::vector<std::pair<std::string, Variant>> Outputs);
  // Whether the cursor can read its first row with InternalFetchFirst.
  void SetScrollable(bool Value) { Scrollable = Value; }
  // Stops writing calls to the log (and so also stops injected failures):
  // the calls then cost nothing, for measuring the base alone.
  void SetQuiet(bool Value) { Quiet = Value; }

  // The driver-facing buffers, for tests of the layout.
  using TZantrelSQL::InternalAllocOpenBuffer;
  const TZtlBuffer& GetFetchBufferBlock() const { return FetchBuffer; }
  const TZtlBuffer& GetFetchNullsBlock() const { return FetchNulls; }
  std::int32_t GetBufferRows() const { return BufferRows; }
  std::int32_t GetBufferPos() const { return BufferPos; }
  void SetFetchRows(std::int32_t Value) { FetchRows = Value; }
  void SetRowLayout(std::int32_t ARowSize, std::int32_t ANullSize) {
    RowSize = ARowSize;
    NullSize = ANullSize;
  }
  // Host-variable steps, open to tests.
  using TZantrelSQL::InternalAddFieldDef;
  using TZantrelSQL::InternalAutoCommit;
  using TZantrelSQL::InternalCheckVarValues;
  using TZantrelSQL::InternalGetVariableTypeAndLength;
  TZantrelFieldDefs& GetMutableFieldDefs() { return FieldDefs; }
  TZantrelVariableDefs& GetMutableOutVariables() { return OutVariables; }

  bool GetStillInProc() override;
  std::string GetTableName() override;
  bool Resume() override;
  bool FetchNext() override;
  bool FetchCurrent() override;
  bool FetchPrior() override;
  bool UpdateRecord() override;
  bool InsertRecord() override;
  bool DeleteRecord() override;
  bool IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) override;
  void SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) override;

protected:
  bool InternalPrepare(const std::string& SQL) override;
  bool InternalPrepareOpen(const std::string& SQL) override;
  bool InternalBindOpenVariables(TStringList* List) override;
  bool InternalIsScrollable() override;
  bool InternalOpen(bool AReadOnly) override;
  void InternalClose() override;
  void InternalUnprepareOpen() override;
  bool InternalPrepareExecute(const std::string& SQL) override;
  bool InternalBindExecVariables(TStringList* List) override;
  bool InternalExecute(TStringList* List) override;
  void InternalUnprepareExecute() override;
  std::int32_t InternalGetDefaultSize(TZantrelFieldTypes FieldType) override;
  std::int32_t InternalGetExtType(TZantrelFieldTypes FieldType) override;
  bool InternalFetchNext() override;
  bool InternalFetchFirst() override;
  bool InternalMoveToFirst() override;
  bool InternalMoveToLast() override;
  bool InternalMoveTo(std::int32_t Row) override;
  void InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                        Variant& Value) override;
  void InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, const Variant& Value,
                        TZantrelBlobStream* Blob) override;

private:
  // Writes Call to the log and applies an injected failure; true to go on.
  bool Enter(std::string_view Call);
  // Moves to row R (1-based) and loads it; off either end sets Bof or Eof.
  bool FetchRow(std::int32_t R);
  // Encodes rows First .. into the fetch buffer.
  void FillFetchBuffer(std::int32_t First);
  // The values of the current row, decoded (blob data from the streams).
  std::vector<Variant> CurrentValues();
  // Encodes Value into Size bytes at Dest (no logging).
  static void Encode(std::uint8_t* Dest, std::int32_t Size, TZantrelFieldTypes FieldType,
                     const Variant& Value);
  static std::int32_t RowBytesOf(const TRecordingColumn& Column);

  std::shared_ptr<TRecordingLog> Log;                   // shared with the session
  std::vector<TRecordingColumn> Columns;                // the server's result columns
  std::vector<std::vector<Variant>> Rows;               // the server's rows
  std::vector<std::pair<std::string, Variant>> Outputs; // values an execution returns
  std::int32_t Position = 0;    // 1-based row, 0 before the first, count+1 after the last
  std::int32_t BufferFirst = 0; // row number of the fetch buffer's first row
  bool Scrollable = true;       // InternalIsScrollable answers this
  bool Quiet = false;           // write nothing to the log
};

} // namespace ztl
