// Editing through the dataset's cursor: the changed-row check before an edit,
// posting, adding and deleting rows through the driver's row operations, and
// re-executing the query afterwards to find the way back to the row.
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dataset/ZtlCleanup_p.h"
#include "dataset/ZtlDataset.h"

namespace ztl {

namespace {

// The values written into memo and blob fields of the record being edited,
// by column name: they live in the cursor's streams, not in the record
// buffer, so re-reading the row would drop them.
using TTypedBlobs = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

TTypedBlobs SaveTypedBlobs(TZantrelBlobManager* Blobs) {
  TTypedBlobs Saved;
  if (!Blobs)
    return Saved;
  for (TZantrelBlobStream* B : Blobs->GetList())
    if (B->GetModified()) {
      const std::uint8_t* P = B->GetMemory();
      Saved.emplace_back(B->GetFieldName(),
                         std::vector<std::uint8_t>(P, P ? P + B->GetDataSize() : P));
    }
  return Saved;
}

void RestoreTypedBlobs(TZantrelBlobManager* Blobs, const TTypedBlobs& Saved) {
  if (!Blobs)
    return;
  for (const auto& [Name, Data] : Saved)
    for (TZantrelBlobStream* B : Blobs->GetList())
      if (B->GetFieldName() == Name) {
        // Truncate leaves an empty value that still counts as written.
        B->Truncate();
        if (!Data.empty())
          B->Write(Data.data(), static_cast<std::int32_t>(Data.size()));
        break;
      }
}

// Copies Count bytes of Source to Dest when Source holds that many; a
// shorter source (a cursor without buffers) leaves Dest as it was.
void CopyWhole(std::uint8_t* Dest, std::span<const std::uint8_t> Source, std::size_t Count) {
  if (Count > 0 && Source.size() >= Count)
    std::memcpy(Dest, Source.data(), Count);
}

void CopyWhole(std::span<std::uint8_t> Dest, const std::uint8_t* Source, std::size_t Count) {
  if (Count > 0 && Dest.size() >= Count)
    std::memcpy(Dest.data(), Source, Count);
}

// Whether Count bytes at Buffer equal the first Count bytes of Source; a
// source shorter than Count never does.
bool SameBytes(const std::uint8_t* Buffer, std::span<const std::uint8_t> Source,
               std::size_t Count) {
  return Source.size() >= Count && (Count == 0 || std::memcmp(Buffer, Source.data(), Count) == 0);
}

} // namespace

void TZantrelDataset::DoBeforeEdit() {
  EditChecked = false;
  TDataSet::DoBeforeEdit();
}

// Re-reads the row under the active record and refuses the edit when the
// database holds something else than the user sees. A refused edit sets
// EditChecked, so that a retry from the edit-error handler goes ahead; the
// next Edit (through DoBeforeEdit) checks afresh.
void TZantrelDataset::InternalEdit() {
  const TRecordBuffer Active = ActiveBuffer();
  if (EditChecked || !Active)
    return;
  const std::int32_t Row = BookmarkRow(Active + BookmarkOffset);
  if (Row == -1)
    return;
  Check(Cursor->MoveTo(Row));
  Check(Cursor->FetchCurrent());
  if (SameBytes(Active, Cursor->GetCurrentRow(), LayoutRowSize) &&
      SameBytes(Active + NullOffset, Cursor->GetCurrentNulls(), LayoutNullSize))
    return;
  EditChecked = true;
  DatabaseError(LoadZtlStr(SZtlRowChanged));
}

void TZantrelDataset::InternalPost() {
  const TRecordBuffer Active = ActiveBuffer();
  CopyWhole(Cursor->GetCurrentRow(), Active, LayoutRowSize);
  CopyWhole(Cursor->GetCurrentNulls(), Active + NullOffset, LayoutNullSize);
  if (State() == dsEdit) {
    // A failed post leaves the record in edit with what the user typed,
    // memos and blobs included, so that it can be posted again.
    const TTypedBlobs Typed = SaveTypedBlobs(Cursor->GetBlobManager());
    try {
      Check(Cursor->UpdateRecord());
    } catch (const EZantrelDatasetError&) {
      // The dataset shows the database's state before the error surfaces;
      // a failing refresh must not hide the error of the update.
      ZtlReleaseAfterFailure(this, [this] { RefreshCursor(nullptr, nullptr, bfCurrent); });
      RestoreTypedBlobs(Cursor->GetBlobManager(), Typed);
      throw;
    }
    try {
      RefreshCursor(nullptr, nullptr, bfCurrent);
    } catch (...) {
      RestoreTypedBlobs(Cursor->GetBlobManager(), Typed);
      throw;
    }
  } else if (State() == dsInsert) {
    Check(Cursor->InsertRecord());
    // A record appended at the end carries the end-of-file flag.
    SynchronizeCursor(GetBookmarkFlag(Active) == bfEOF);
  }
}

void TZantrelDataset::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  CopyWhole(Cursor->GetCurrentRow(), Buffer, LayoutRowSize);
  CopyWhole(Cursor->GetCurrentNulls(), Buffer + NullOffset, LayoutNullSize);
  Check(Cursor->InsertRecord());
  SynchronizeCursor(Append);
}

void TZantrelDataset::InternalDelete() {
  Check(Cursor->DeleteRecord());
  RefreshCursor(nullptr, nullptr, bfCurrent);
}

void TZantrelDataset::InternalCancel() {
  if (TZantrelBlobManager* Blobs = Cursor ? Cursor->GetBlobManager() : nullptr)
    Blobs->ClearBlobs();
}

void TZantrelDataset::InternalRefresh() {
  // Re-executing would throw away the result sets still pending.
  if (GetStillInProc())
    DatabaseError(LoadZtlStr(SZtlStoredProcRefresh));
  RefreshCursor(nullptr, nullptr, bfCurrent);
}

void TZantrelDataset::InternalHandleException() {
  Application().HandleException(this);
}

void TZantrelDataset::SynchronizeCursor(bool Append) {
  const TBookmarkFlag Position = Append ? bfEOF : bfCurrent;
  if (!SyncInserts) {
    RefreshCursor(nullptr, nullptr, Position);
    return;
  }
  // The re-execution replaces the cursor's row buffers: the inserted row
  // (as the driver left it after InsertRecord) becomes the search key.
  const TRecordBuffer Key = TempBuffer();
  CopyWhole(Key, Cursor->GetCurrentRow(), LayoutRowSize);
  CopyWhole(Key + NullOffset, Cursor->GetCurrentNulls(), LayoutNullSize);
  RefreshCursor(&KeyFields, Key, Position);
}

// Re-executes the statement and positions the cursor where the framework's
// following Resync finds the record to show: on the row found by key values
// (AKeyFields given), else on the former row number, the first row or the
// end. Moves are not checked: the framework reads from wherever the cursor
// ends up.
void TZantrelDataset::RefreshCursor(const std::vector<TField*>* AKeyFields, TRecordBuffer Buffer,
                                    TBookmarkFlag Position) {
  const int Target = Position == bfCurrent ? GetRecNo() - 1 : 0;

  // Closing here must not close the dataset: the cursor's close event is
  // silenced for the moment, and restored whatever happens.
  {
    struct TRestoreAfterClose {
      TZantrelDataset* Self;
      ~TRestoreAfterClose() {
        Self->Cursor->AfterClose = [S = Self](TObject* Sender) { S->FDoAfterClose(Sender); };
      }
    } Restore{this};
    Cursor->AfterClose = nullptr;
    Cursor->Close();
  }
  GetCursor(true);

  if (AKeyFields) {
    // A new row usually comes last: compare the last row first, then the
    // whole result from the first row.
    Cursor->MoveToLast();
    if (Cursor->FetchPrior() &&
        LocateRecordForKey(AKeyFields, Buffer, false, false, false, true, true, true, false))
      return;
  }

  switch (Position) {
  case bfCurrent:
    Cursor->MoveToFirst();
    // Reaching a row in the second half from the end is the shorter way
    // for a driver that counts rows as it fetches them.
    if (AtLast || (IsSequenced() && Cursor->GetRecordCount() / 2 < Target))
      Cursor->MoveToLast();
    Cursor->MoveTo(Target);
    break;
  case bfBOF:
    Cursor->MoveToFirst();
    break;
  default:
    Cursor->MoveToLast();
    break;
  }
}

// The fields that identify a row for finding an inserted row again: the
// table's unique key as the driver's catalog query reports it, else every
// data field. Only needed (and only built) when inserts are synchronised on
// a modifiable dataset at run time.
void TZantrelDataset::UpdateKeyFields() {
  KeyFields.clear();
  if (InState(csDesigning) || !SyncInserts || !GetCanModify())
    return;

  const std::string Table = Cursor->GetTableName();
  const std::string Query = QueryUniqueFields();
  // A driver without a catalog query has no key to report; an empty
  // statement would only fail at the server.
  if (!Table.empty() && !Query.empty()) {
    std::unique_ptr<TZantrelSQL> Temp = CreateSQL();
    Temp->SetSession(Cursor->GetSessionObject());
    if (Temp->Open(Query, {Variant(Table)}, true)) {
      while (Temp->FetchNext()) {
        const std::string Name = TrimRight(Temp->GetFieldValue("column_name").AsString());
        if (TField* Field = FindField(Name))
          KeyFields.push_back(Field);
      }
      Temp->Close();
    }
  }

  // Calculated and lookup fields have no column to compare: they would make
  // every search for the inserted row fail.
  if (KeyFields.empty())
    for (TField* Field : Fields())
      if (Field->FieldNo() > 0)
        KeyFields.push_back(Field);
}

std::string TZantrelDataset::QueryUniqueFields() {
  return {};
}

} // namespace ztl
