// Reading an SQLite result into the row cache, converting each value to its
// column's logical type, and moving over the cached rows.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/SQLiteBlobStream.h"
#include "drivers/sqlite/SQLiteCursor_p.h"
#include "drivers/sqlite/SQLiteSession.h"

namespace ztl {

namespace {

// Text of a value for messages: quoted and cut to a readable length.
std::string ShowText(const char* P, std::size_t N) {
  constexpr std::size_t Max = 40;
  std::string S = "'";
  S.append(P, std::min(N, Max));
  if (N > Max)
    S += "...";
  return S + "'";
}

// A value as message text.
std::string ShowValue(sqlite3_value* V, int StorageClass) {
  const TSQLiteApi& A = SQLite();
  char Buf[32];
  switch (StorageClass) {
  case SQLITE_INTEGER: {
    const auto R = std::to_chars(Buf, Buf + sizeof Buf, A.value_int64(V));
    return std::string(Buf, R.ptr);
  }
  case SQLITE_FLOAT: {
    const auto R = std::to_chars(Buf, Buf + sizeof Buf, A.value_double(V));
    return std::string(Buf, R.ptr);
  }
  case SQLITE_BLOB:
    return "a blob of " + std::to_string(A.value_bytes(V)) + " bytes";
  default: {
    const auto* P = reinterpret_cast<const char*>(A.value_text(V));
    return ShowText(P ? P : "", static_cast<std::size_t>(A.value_bytes(V)));
  }
  }
}

// A text value without surrounding blanks.
std::string_view TrimmedText(sqlite3_value* V) {
  const TSQLiteApi& A = SQLite();
  const auto* P = reinterpret_cast<const char*>(A.value_text(V));
  std::size_t N = static_cast<std::size_t>(A.value_bytes(V));
  if (!P)
    return {};
  while (N > 0 && (*P == ' ' || *P == '\t')) {
    ++P;
    --N;
  }
  while (N > 0 && (P[N - 1] == ' ' || P[N - 1] == '\t'))
    --N;
  return {P, N};
}

// An integer value: integers, integral reals in range, and integer texts.
bool ReadInteger(sqlite3_value* V, int StorageClass, std::int64_t& Value) {
  const TSQLiteApi& A = SQLite();
  switch (StorageClass) {
  case SQLITE_INTEGER:
    Value = A.value_int64(V);
    return true;
  case SQLITE_FLOAT: {
    const double D = A.value_double(V);
    // 2^63 is the first double past the int64 range.
    if (!(D >= -9223372036854775808.0 && D < 9223372036854775808.0) || std::trunc(D) != D)
      return false;
    Value = static_cast<std::int64_t>(D);
    return true;
  }
  case SQLITE_TEXT: {
    const std::string_view T = TrimmedText(V);
    const char* B = T.data();
    const char* E = B + T.size();
    if (B != E && *B == '+')
      ++B;
    const auto R = std::from_chars(B, E, Value);
    return R.ec == std::errc() && R.ptr == E && B != E;
  }
  default:
    return false;
  }
}

// A real value: reals, integers a double holds exactly, and number texts.
bool ReadReal(sqlite3_value* V, int StorageClass, double& Value) {
  const TSQLiteApi& A = SQLite();
  switch (StorageClass) {
  case SQLITE_FLOAT:
    Value = A.value_double(V);
    return true;
  case SQLITE_INTEGER: {
    const std::int64_t I = A.value_int64(V);
    Value = static_cast<double>(I);
    // Beyond 2^53 not every integer has a double; those would change.
    return std::fabs(Value) < 9007199254740992.0 ||
           (Value < 9223372036854775808.0 && static_cast<std::int64_t>(Value) == I);
  }
  case SQLITE_TEXT: {
    const std::string_view T = TrimmedText(V);
    const char* B = T.data();
    const char* E = B + T.size();
    if (B != E && *B == '+')
      ++B;
    const auto R = std::from_chars(B, E, Value);
    return R.ec == std::errc() && R.ptr == E && B != E && std::isfinite(Value);
  }
  default:
    return false;
  }
}

// A currency amount (scaled by 10 000) from a decimal text with at most four
// significant decimals, read exactly.
bool ParseCurrencyText(std::string_view T, std::int64_t& Raw) {
  std::size_t I = 0;
  bool Negative = false;
  if (I < T.size() && (T[I] == '+' || T[I] == '-'))
    Negative = T[I++] == '-';
  std::int64_t Whole = 0;
  std::size_t Digits = 0;
  for (; I < T.size() && T[I] >= '0' && T[I] <= '9'; ++I, ++Digits)
    if (__builtin_mul_overflow(Whole, 10, &Whole) ||
        __builtin_add_overflow(Whole, T[I] - '0', &Whole))
      return false;
  std::int64_t Fraction = 0;
  int Places = 0;
  if (I < T.size() && T[I] == '.') {
    for (++I; I < T.size() && T[I] >= '0' && T[I] <= '9'; ++I, ++Digits) {
      if (Places < 4) {
        Fraction = Fraction * 10 + (T[I] - '0');
        ++Places;
      } else if (T[I] != '0') {
        return false; // a fifth significant decimal would be lost
      }
    }
  }
  if (I != T.size() || Digits == 0)
    return false;
  for (; Places < 4; ++Places)
    Fraction *= 10;
  std::int64_t Value;
  if (__builtin_mul_overflow(Whole, Currency::Scale, &Value) ||
      __builtin_add_overflow(Value, Fraction, &Value))
    return false;
  Raw = Negative ? -Value : Value;
  return true;
}

// A currency amount from a real: rounded to four decimals, unless that
// would change it by more than the real's own imprecision.
bool RealToCurrency(double D, std::int64_t& Raw) {
  Currency C;
  if (!Currency::TryFromDouble(D, C))
    return false;
  const double Scaled = D * Currency::Scale;
  const double Tolerance = std::max(1e-3, std::fabs(Scaled) * 4e-16);
  if (std::fabs(Scaled - static_cast<double>(C.Raw())) > Tolerance)
    return false;
  Raw = C.Raw();
  return true;
}

// A Boolean: 0 and 1 as numbers, or the texts true/false/0/1.
bool ReadBoolean(sqlite3_value* V, int StorageClass, bool& Value) {
  const TSQLiteApi& A = SQLite();
  switch (StorageClass) {
  case SQLITE_INTEGER: {
    const std::int64_t I = A.value_int64(V);
    Value = I != 0;
    return I == 0 || I == 1;
  }
  case SQLITE_FLOAT: {
    const double D = A.value_double(V);
    Value = D != 0.0;
    return D == 0.0 || D == 1.0;
  }
  case SQLITE_TEXT: {
    const std::string_view T = TrimmedText(V);
    const auto Is = [&](std::string_view W) {
      return T.size() == W.size() && std::equal(T.begin(), T.end(), W.begin(), [](char X, char Y) {
               return std::tolower(static_cast<unsigned char>(X)) == Y;
             });
    };
    if (Is("true") || Is("1")) {
      Value = true;
      return true;
    }
    if (Is("false") || Is("0")) {
      Value = false;
      return true;
    }
    return false;
  }
  default:
    return false;
  }
}

// A real as text in SQLite's style, so that it still reads as a real: "2.0"
// rather than "2", "Inf", "-Inf". SQLite's own text keeps 15 digits; the
// shortest round-trip text keeps the value. Written into Scratch (at least
// 32 bytes).
std::span<const std::uint8_t> RealText(double D, char* Scratch) {
  std::size_t N;
  if (std::isinf(D)) {
    N = D > 0 ? 3 : 4;
    std::memcpy(Scratch, D > 0 ? "Inf" : "-Inf", N);
  } else {
    N = static_cast<std::size_t>(std::to_chars(Scratch, Scratch + 30, D).ptr - Scratch);
    if (std::find_if(Scratch, Scratch + N, [](char C) { return C == '.' || C == 'e'; }) ==
        Scratch + N) {
      std::memcpy(Scratch + N, ".0", 2);
      N += 2;
    }
  }
  return {reinterpret_cast<const std::uint8_t*>(Scratch), N};
}

// The bytes of a value: texts and blobs as they are; numbers as their
// shortest exact text, written into Scratch (at least 32 bytes).
std::span<const std::uint8_t> ValueBytes(sqlite3_value* V, int StorageClass, char* Scratch) {
  const TSQLiteApi& A = SQLite();
  switch (StorageClass) {
  case SQLITE_INTEGER: {
    const auto R = std::to_chars(Scratch, Scratch + 32, A.value_int64(V));
    return {reinterpret_cast<const std::uint8_t*>(Scratch),
            static_cast<std::size_t>(R.ptr - Scratch)};
  }
  case SQLITE_FLOAT:
    return RealText(A.value_double(V), Scratch);
  case SQLITE_BLOB: {
    const void* P = A.value_blob(V);
    return {static_cast<const std::uint8_t*>(P),
            P ? static_cast<std::size_t>(A.value_bytes(V)) : 0};
  }
  default: {
    const unsigned char* P = A.value_text(V);
    return {P, P ? static_cast<std::size_t>(A.value_bytes(V)) : 0};
  }
  }
}

void CopyBytes(void* Dest, const void* Src, std::size_t N) {
  if (N > 0)
    std::memcpy(Dest, Src, N);
}

} // namespace

bool TZantrelSQLiteSQL::Misfit(const TColumn& Column, const std::string& Detail,
                               std::int32_t Code) {
  if (ReadingRow < 0)
    return SQLiteSession().Fail(ZtlColumnMisfit(Column.Name, Detail), Code);
  // Rows are counted from 1 here, as an application shows them.
  return SQLiteSession().Fail(
      ZtlColumnMisfit(Column.Name, Detail + " (row " + std::to_string(ReadingRow + 1) + ")"),
      Code);
}

bool TZantrelSQLiteSQL::StoreRow(sqlite3_stmt* Stmt, std::uint8_t* Slot, bool ByField) {
  // Two copies of the loop, so that the scan's asks nothing per column
  // about which statement it reads.
  return ByField ? StoreRowOf<true>(Stmt, Slot) : StoreRowOf<false>(Stmt, Slot);
}

template <bool ByField>
bool TZantrelSQLiteSQL::StoreRowOf(sqlite3_stmt* Stmt, std::uint8_t* Slot) {
  const TSQLiteApi& A = SQLite();
  std::uint8_t* Nulls = Slot + RowSize;
  // Blob values are gathered first and copied into one piece of the arena;
  // the gathering space is the cursor's, sized when the columns were laid
  // out, so reading a row allocates nothing.
  std::span<const std::uint8_t>* Pieces = BlobPieces.data();
  std::size_t BlobBytes = 0;
  char Scratch[32];

  // The column list is read through locals: the stores into the slot could
  // otherwise alias the vector and force a reload for every column.
  const TSlotColumn* const SlotColumns = Slots.data();
  const std::size_t ColumnCount = Slots.size();
  for (std::size_t I = 0; I < ColumnCount; ++I) {
    const TSlotColumn& C = SlotColumns[I];
    const int Col = ByField ? static_cast<int>(I) : C.StmtColumn;
    std::uint8_t* Dst = Slot + C.Offset;
    // One call per column reaches the value; the value accessors after it
    // skip the statement-level bookkeeping of the column accessors.
    sqlite3_value* V = A.column_value(Stmt, Col);
    int Class;
    std::span<const std::uint8_t> Text;
    if (C.TextOnly) {
      // Such a column holds text, a blob or NULL: the text accessor answers
      // both questions at once (a blob comes back as its bytes).
      const unsigned char* P = A.value_text(V);
      if (P) {
        Class = SQLITE_TEXT;
        Text = {P, static_cast<std::size_t>(A.value_bytes(V))};
      } else {
        Class = A.value_type(V);
      }
    } else {
      Class = A.value_type(V);
    }
    if (Class == SQLITE_NULL) {
      std::memset(Dst, 0, static_cast<std::size_t>(C.Size));
      Nulls[I] = 1;
      if (C.Blob >= 0)
        Pieces[C.Blob] = {};
      continue;
    }
    Nulls[I] = 0;
    switch (C.Type) {
    case ntInteger: {
      std::int64_t I64;
      if (Class == SQLITE_INTEGER)
        I64 = A.value_int64(V);
      else if (!ReadInteger(V, Class, I64))
        return Misfit(Columns[I], ShowValue(V, Class) + " is not an integer", -SQLITE_MISMATCH);
      if (I64 < std::numeric_limits<std::int32_t>::min() ||
          I64 > std::numeric_limits<std::int32_t>::max())
        return Misfit(Columns[I], ShowValue(V, Class) + " is outside the 32-bit integer range",
                      -SQLITE_MISMATCH);
      const auto I32 = static_cast<std::int32_t>(I64);
      std::memcpy(Dst, &I32, sizeof I32);
      break;
    }
    case ntInt64: {
      std::int64_t I64;
      if (Class == SQLITE_INTEGER)
        I64 = A.value_int64(V);
      else if (!ReadInteger(V, Class, I64))
        return Misfit(Columns[I], ShowValue(V, Class) + " is not a 64-bit integer",
                      -SQLITE_MISMATCH);
      std::memcpy(Dst, &I64, sizeof I64);
      break;
    }
    case ntFloat: {
      double D;
      if (Class == SQLITE_FLOAT)
        D = A.value_double(V);
      else if (!ReadReal(V, Class, D))
        return Misfit(Columns[I], ShowValue(V, Class) + " is not a number a double holds exactly",
                      -SQLITE_MISMATCH);
      std::memcpy(Dst, &D, sizeof D);
      break;
    }
    case ntCurrency: {
      std::int64_t Raw = 0;
      bool Ok = false;
      if (Class == SQLITE_INTEGER) {
        Currency Cur;
        Ok = Currency::TryFromInt64(A.value_int64(V), Cur);
        Raw = Cur.Raw();
      } else if (Class == SQLITE_FLOAT) {
        Ok = RealToCurrency(A.value_double(V), Raw);
      } else if (Class == SQLITE_TEXT) {
        Ok = ParseCurrencyText(TrimmedText(V), Raw);
      }
      if (!Ok)
        return Misfit(Columns[I], ShowValue(V, Class) + " is not an amount with at most 4 decimals",
                      -SQLITE_MISMATCH);
      std::memcpy(Dst, &Raw, sizeof Raw);
      break;
    }
    case ntDate:
    case ntTime:
    case ntDateTime: {
      double D = 0;
      bool Ok = false;
      if (Class == SQLITE_TEXT) {
        if (!Text.data()) {
          const unsigned char* P = A.value_text(V);
          Text = {P, P ? static_cast<std::size_t>(A.value_bytes(V)) : 0};
        }
        Ok = Text.data() &&
             SQLiteParseDateTime({reinterpret_cast<const char*>(Text.data()), Text.size()}, D);
      } else if (Class == SQLITE_INTEGER || Class == SQLITE_FLOAT) {
        // Numbers are Julian day numbers, as in SQLite's date functions;
        // one outside the years 1 to 9999 names no date the field can show.
        D = SQLiteJulianToDateTime(A.value_double(V));
        Ok = std::isfinite(D) && std::trunc(D) >= MinDateTime && D < std::trunc(MaxDateTime) + 1;
      }
      if (!Ok)
        return Misfit(Columns[I], ShowValue(V, Class) + " is not a valid date and time",
                      -SQLITE_MISMATCH);
      std::memcpy(Dst, &D, sizeof D);
      break;
    }
    case ntBoolean: {
      bool B;
      if (!ReadBoolean(V, Class, B))
        return Misfit(Columns[I], ShowValue(V, Class) + " is not a Boolean", -SQLITE_MISMATCH);
      const std::uint16_t W = B ? 1 : 0;
      std::memcpy(Dst, &W, sizeof W);
      break;
    }
    case ntString: {
      const std::span<const std::uint8_t> B = Text.data() ? Text : ValueBytes(V, Class, Scratch);
      const std::size_t Room = static_cast<std::size_t>(C.Size) - 1;
      if (B.size() > Room)
        return Misfit(Columns[I],
                      std::to_string(B.size()) + " bytes are longer than its size of " +
                          std::to_string(Room),
                      -SQLITE_TOOBIG);
      if (!B.empty() && std::memchr(B.data(), 0, B.size()))
        return Misfit(Columns[I], "the text contains a NUL byte", -SQLITE_MISMATCH);
      CopyBytes(Dst, B.data(), B.size());
      std::memset(Dst + B.size(), 0, static_cast<std::size_t>(C.Size) - B.size());
      break;
    }
    case ntBinary: {
      const std::span<const std::uint8_t> B = ValueBytes(V, Class, Scratch);
      const std::size_t Room = static_cast<std::size_t>(C.Size) - 2;
      if (B.size() > Room)
        return Misfit(Columns[I],
                      std::to_string(B.size()) + " bytes are longer than its size of " +
                          std::to_string(Room),
                      -SQLITE_TOOBIG);
      const auto Len = static_cast<std::uint16_t>(B.size());
      std::memcpy(Dst, &Len, sizeof Len);
      CopyBytes(Dst + 2, B.data(), B.size());
      std::memset(Dst + 2 + B.size(), 0, Room - B.size());
      break;
    }
    case ntMemo:
    case ntBlob: {
      char* S = BlobScratch[static_cast<std::size_t>(C.Blob)].data();
      Pieces[C.Blob] = Text.data() ? Text : ValueBytes(V, Class, S);
      BlobBytes += Pieces[C.Blob].size();
      break;
    }
    default:
      break;
    }
  }
  if (BlobColumns > 0) {
    if (BlobBytes > std::numeric_limits<std::uint32_t>::max())
      return SQLiteSession().Fail("A row's memo and blob values exceed 4 GB", -SQLITE_TOOBIG);
    std::uint8_t* Data = Cache.AllocBlobBytes(BlobBytes);
    std::uint32_t* Lengths = BlobLengths.data();
    std::size_t At = 0;
    for (std::int32_t K = 0; K < BlobColumns; ++K) {
      CopyBytes(Data + At, Pieces[K].data(), Pieces[K].size());
      Lengths[K] = static_cast<std::uint32_t>(Pieces[K].size());
      At += Pieces[K].size();
    }
    Cache.SetBlobRef(Slot, Data, Lengths);
  }
  return true;
}

bool TZantrelSQLiteSQL::LoadRows(std::int32_t Count) {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (Failed)
    return S.Fail(FailMessage, FailCode);
  const TSQLiteApi& A = SQLite();
  sqlite3_stmt* Stmt = OpenStmt.Get();
  if (!Stmt)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -SQLITE_MISUSE);
  // Remembers a failure of the statement itself: after the reset, stepping
  // again would start the result over and repeat rows.
  const auto Fail = [&](bool FromDatabase, const std::string& Msg, std::int32_t Code) {
    if (FromDatabase)
      S.Fail();
    else
      S.Fail(Msg, Code);
    Failed = true;
    FailMessage = S.GetLastError();
    FailCode = S.GetLastErrorCode();
    ResetIfStepped(Stmt, OpenStepped);
    PendingRow = false;
    return false;
  };
  for (std::int32_t K = 0; K < Count && !AtEnd; ++K) {
    if (!PendingRow) {
      OpenStepped = true;
      const int Rc = A.step(Stmt);
      if (Rc == SQLITE_DONE) {
        AtEnd = true;
        ResetIfStepped(Stmt, OpenStepped);
        TypesSettled = true;
        break;
      }
      if (Rc != SQLITE_ROW)
        return Fail(true, {}, 0);
      PendingRow = true;
      if (RowsRead() == 0) {
        // SQLite recompiles a statement whose tables changed; a different
        // number of columns no longer fits the row layout.
        if (A.column_count(Stmt) != ExpectedColumns)
          return Fail(false,
                      "The result columns changed since the statement was prepared; prepare it "
                      "again",
                      -SQLITE_SCHEMA);
        if (!TypesSettled) {
          if (std::any_of(Columns.begin(), Columns.end(),
                          [](const TColumn& C) { return C.Declared.ByValue; }))
            LayOut(true);
          TypesSettled = true;
        }
      }
    }
    std::uint8_t* Slot = Cache.NewSlot();
    ReadingRow = RowsRead();
    const bool Stored = StoreRow(Stmt, Slot, false);
    ReadingRow = -1;
    if (!Stored)
      return false;
    Cache.Commit();
    PendingRow = false;
  }
  RecordCount = RowsRead();
  return true;
}

TZantrelSQLiteSQL::TRowState TZantrelSQLiteSQL::EnsureRow(std::int32_t Row) {
  if (Row < Dropped) {
    BackwardMove();
    return rsFailed;
  }
  while (RowsRead() <= Row) {
    if (AtEnd)
      return rsAbsent;
    // Every cached row lies behind the one asked for.
    if (ForwardOnly)
      DropReadRows();
    if (!LoadRows(MaxFetchCount))
      return rsFailed;
  }
  return rsPresent;
}

void TZantrelSQLiteSQL::DetachStreams() {
  for (std::int32_t K = 0; K < BlobColumns; ++K)
    if (TZantrelSQLiteBlobStream* Stream = BlobStream(K))
      Stream->SetFetched({});
}

TZantrelSQLiteBlobStream* TZantrelSQLiteSQL::BlobStream(std::int32_t K) const {
  // The first BlobColumns streams of the manager are the ones LayOut made,
  // in column order.
  const auto& List = BlobManager->GetList();
  if (K < 0 || K >= BlobColumns || static_cast<std::size_t>(K) >= List.size())
    return nullptr;
  return static_cast<TZantrelSQLiteBlobStream*>(List[static_cast<std::size_t>(K)]);
}

void TZantrelSQLiteSQL::ShowRow(const std::uint8_t* Slot) {
  const std::size_t R = static_cast<std::size_t>(RowSize);
  const std::size_t N = static_cast<std::size_t>(NullSize);
  CopyBytes(CurrentRow.Data(), Slot, R);
  CopyBytes(OldRow.Data(), Slot, R);
  CopyBytes(CurrentNulls.Data(), Slot + R, N);
  CopyBytes(OldNulls.Data(), Slot + R, N);
  if (BlobColumns == 0)
    return;
  for (std::int32_t K = 0; K < BlobColumns; ++K)
    if (TZantrelSQLiteBlobStream* Stream = BlobStream(K))
      Stream->SetFetched(Cache.Blob(Slot, K));
}

// --- Navigation ------------------------------------------------------------------------

bool TZantrelSQLiteSQL::BackwardMove() {
  return SQLiteSession().Fail(LoadZtlStr(ZTL_ERR_CURS_BI_NOT_SUPP), -SQLITE_MISUSE);
}

void TZantrelSQLiteSQL::DropReadRows() {
  if (Cache.Count() == 0)
    return;
  DetachStreams();
  Dropped += Cache.Count();
  Cache.Clear();
}

bool TZantrelSQLiteSQL::FetchNext() {
  if (!Opened)
    return SQLiteSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -SQLITE_MISUSE);
  const std::int32_t Target = Position < 0 ? 0 : Position + 1;
  switch (EnsureRow(Target)) {
  case rsFailed:
    return false;
  case rsAbsent:
    Position = RowsRead();
    RecNo = -1;
    Bof = false;
    Eof = true;
    return false;
  case rsPresent:
    break;
  }
  Position = Target;
  ShowRow(RowSlot(Target));
  RecNo = Target;
  Bof = false;
  Eof = false;
  return true;
}

bool TZantrelSQLiteSQL::FetchPrior() {
  if (!Opened)
    return SQLiteSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -SQLITE_MISUSE);
  const std::int32_t Target = std::min(Position, RowsRead()) - 1;
  if (Target < 0) {
    Position = -1;
    RecNo = -1;
    Bof = true;
    Eof = false;
    return false;
  }
  if (Target < Dropped)
    return BackwardMove();
  Position = Target;
  ShowRow(RowSlot(Target));
  RecNo = Target;
  Bof = false;
  Eof = false;
  return true;
}

bool TZantrelSQLiteSQL::FetchCurrent() {
  if (!Opened)
    return SQLiteSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -SQLITE_MISUSE);
  if (Position < 0) {
    RecNo = -1;
    Bof = true;
    Eof = false;
    return false;
  }
  if (Position >= RowsRead()) {
    RecNo = -1;
    Bof = false;
    Eof = true;
    return false;
  }
  if (Position < Dropped)
    return BackwardMove();
  std::uint8_t* Slot = RowSlot(Position);
  if (Updatable) {
    // The row is read again by its key, into its own cache slot, so that
    // every later visit shows the database's present state too.
    switch (Reread(Slot, Slot + RowSize, Slot)) {
    case rsFailed:
      return false;
    case rsAbsent:
      return SQLiteSession().Fail(Format(SZtlRowGone, {BaseTable}), -SQLITE_NOTFOUND);
    case rsPresent:
      break;
    }
  }
  ShowRow(Slot);
  RecNo = Position;
  Bof = false;
  Eof = false;
  return true;
}

bool TZantrelSQLiteSQL::InternalFetchNext() {
  return FetchNext();
}

bool TZantrelSQLiteSQL::InternalFetchFirst() {
  Position = -1;
  return FetchNext();
}

bool TZantrelSQLiteSQL::InternalMoveToFirst() {
  if (Dropped > 0)
    return BackwardMove();
  Position = -1;
  RecNo = -1;
  Bof = true;
  Eof = false;
  return true;
}

bool TZantrelSQLiteSQL::InternalMoveToLast() {
  while (!AtEnd) {
    if (ForwardOnly)
      DropReadRows();
    if (!LoadRows(std::max(MaxFetchCount, 1000)))
      return false;
  }
  Position = RowsRead();
  RecNo = -1;
  Bof = false;
  Eof = true;
  return true;
}

bool TZantrelSQLiteSQL::InternalMoveTo(std::int32_t Row) {
  if (Row < 0) {
    Position = -1;
    RecNo = -1;
    Bof = true;
    Eof = false;
    return false;
  }
  switch (EnsureRow(Row)) {
  case rsFailed:
    return false;
  case rsAbsent:
    Position = RowsRead();
    RecNo = -1;
    Bof = false;
    Eof = true;
    return false;
  case rsPresent:
    break;
  }
  Position = Row;
  RecNo = Row;
  Bof = false;
  Eof = false;
  return true;
}

} // namespace ztl
