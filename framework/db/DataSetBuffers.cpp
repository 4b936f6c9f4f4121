// The dataset's window of record buffers: filling it from the descendant's
// cursor, navigation, re-synchronisation and bookmarks.
//
// Invariants: slots 0 .. FBufferedCount-1 hold consecutive records in cursor
// order; slot FBufferedCount is where the next fetch lands (the spare slot
// when the window is full); FActiveRecord lies in 0 .. FBufferedCount-1 (0
// when empty); FCurrentRecord is the slot the descendant's cursor stands on,
// or -1 when unknown.
#include <algorithm>

#include "framework/db/DBConsts.h"
#include "framework/db/DataSet.h"
#include "framework/db/DataSource.h"

namespace ztl {

// ---- Allocation ----------------------------------------------------------------

int TDataSet::WantedBufferCount() const {
  // Moving forward through one buffer is all such a cursor allows.
  if (FIsUniDirectional)
    return 1;
  int Count = 1;
  for (const TDataSource* Source : FDataSources)
    Count = std::max(Count, Source->MaxBufferCount());
  return Count;
}

void TDataSet::AllocateBuffers() {
  FreeBuffers();
  FBufferCount = WantedBufferCount();
  FBufferCountPending = false;
  // Each buffer joins the ring as soon as it exists, so FreeBuffers returns
  // every one of them when a later allocation fails.
  FBuffers.reserve(static_cast<std::size_t>(FBufferCount) + 1);
  for (int I = 0; I <= FBufferCount; ++I)
    FBuffers.push_back(AllocRecordBuffer());
  FTempBuffer = AllocRecordBuffer();
}

void TDataSet::FreeBuffers() {
  for (TRecordBuffer& Buffer : FBuffers)
    if (Buffer)
      FreeRecordBuffer(Buffer);
  FBuffers.clear();
  if (FTempBuffer)
    FreeRecordBuffer(FTempBuffer);
  FTempBuffer = nullptr;
  FCalcBuffer = nullptr;
  FBufferCount = 0;
}

void TDataSet::ClearBuffers() {
  FBufferedCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
}

void TDataSet::UpdateBufferCount() {
  if (FState == dsInactive || FBuffers.empty())
    return;
  if (WantedBufferCount() == FBufferCount && !FBufferCountPending)
    return;
  FBufferCountPending = true;
  if (FState != dsBrowse)
    return; // applied when the dataset next re-synchronises in browse state
  UpdateCursorPos();
  Resync({});
}

// Reallocates the ring for the wanted count. The records are fetched again
// by the caller (Resync), so only the active row survives.
void TDataSet::ApplyBufferCount() {
  FBufferCountPending = false;
  int Wanted = WantedBufferCount();
  if (Wanted == FBufferCount)
    return;
  // Allocate the new ring before giving up the old one, so a failing
  // allocation leaves the window as it was.
  std::vector<TRecordBuffer> Ring;
  Ring.reserve(static_cast<std::size_t>(Wanted) + 1);
  try {
    for (int I = 0; I <= Wanted; ++I)
      Ring.push_back(AllocRecordBuffer());
  } catch (...) {
    for (TRecordBuffer& Buffer : Ring)
      FreeRecordBuffer(Buffer);
    throw;
  }
  for (TRecordBuffer& Buffer : FBuffers)
    if (Buffer)
      FreeRecordBuffer(Buffer);
  FBuffers.swap(Ring);
  FBufferedCount = 0;
  FCurrentRecord = -1;
  FBufferCount = Wanted;
  FActiveRecord = std::min(FActiveRecord, Wanted - 1);
}

// ---- Primitive moves --------------------------------------------------------------

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index)
    return;
  InternalSetToRecord(FBuffers[static_cast<std::size_t>(Index)]);
  FCurrentRecord = Index;
}

void TDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  if (BookmarkSize <= 0)
    return;
  TBookmark Data(static_cast<std::size_t>(BookmarkSize));
  GetBookmarkData(Buffer, Data.data());
  InternalGotoBookmark(Data.data());
}

bool TDataSet::GetNextRecord() {
  if (FBufferedCount > 0)
    SetCurrentRecord(FBufferedCount - 1);
  TGetResult Result = GetRecord(FBuffers[static_cast<std::size_t>(FBufferedCount)], gmNext, true);
  if (Result != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FBufferedCount == FBufferCount)
    std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.end());
  else
    ++FBufferedCount;
  FCurrentRecord = FBufferedCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FBufferedCount > 0)
    SetCurrentRecord(0);
  TGetResult Result = GetRecord(FBuffers[static_cast<std::size_t>(FBufferedCount)], gmPrior, true);
  if (Result != grOK) {
    CursorPosChanged();
    return false;
  }
  // The new record moves to the front; when the window was full its last
  // record drops into the spare slot.
  auto End = FBuffers.begin() + FBufferedCount + 1;
  std::rotate(FBuffers.begin(), End - 1, End);
  if (FBufferedCount < FBufferCount)
    ++FBufferedCount;
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int Count = 0;
  while (FBufferedCount < FBufferCount && GetNextRecord())
    ++Count;
  return Count;
}

int TDataSet::GetPriorRecords() {
  int Count = 0;
  while (FBufferedCount < FBufferCount && GetPriorRecord())
    ++Count;
  return Count;
}

// ---- Navigation ----------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  // Before the first move forward the first record is still where it was.
  if (!FBOF)
    CheckBiDirectional();
  DoBeforeScroll();
  ClearBuffers();
  FBOF = FEOF = true;
  InternalFirst();
  GetNextRecord();
  GetNextRecords();
  FBOF = true;
  FEOF = IsEmpty();
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  CheckBiDirectional();
  DoBeforeScroll();
  ClearBuffers();
  FBOF = FEOF = true;
  InternalLast();
  GetPriorRecord();
  GetPriorRecords();
  FActiveRecord = std::max(FBufferedCount - 1, 0);
  FEOF = true;
  FBOF = IsEmpty();
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  if (Distance < 0)
    CheckBiDirectional();
  if (Distance == 0 || (Distance > 0 && FEOF) || (Distance < 0 && FBOF))
    return 0;
  DoBeforeScroll();
  FBOF = FEOF = false;
  int Moved = 0;
  int Scrolled = 0; // slots the window moved toward the end
  if (Distance > 0) {
    while (Moved < Distance) {
      if (FActiveRecord < FBufferedCount - 1) {
        ++FActiveRecord;
      } else {
        bool Full = FBufferedCount == FBufferCount;
        if (!GetNextRecord()) {
          FEOF = true;
          break;
        }
        if (Full)
          ++Scrolled;
        FActiveRecord = FBufferedCount - 1;
      }
      ++Moved;
    }
  } else {
    while (Moved < -static_cast<long long>(Distance)) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
      } else {
        if (!GetPriorRecord()) {
          FBOF = true;
          break;
        }
        --Scrolled;
        FActiveRecord = 0;
      }
      ++Moved;
    }
  }
  TDataEventInfo Info;
  Info.Distance = Scrolled;
  DataEvent(deDataSetScroll, Info);
  DoAfterScroll();
  return Distance > 0 ? Moved : -Moved;
}

void TDataSet::Resync(TResyncMode Mode) {
  CheckActive();
  if (FBufferCountPending && FState == dsBrowse)
    ApplyBufferCount();
  TRecordBuffer Spare = FBuffers[static_cast<std::size_t>(FBufferCount)];
  if (Mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(Spare, gmCurrent, true) != grOK)
      DatabaseError(SRecordNotFound, this);
  } else if (GetRecord(Spare, gmCurrent, false) != grOK &&
             GetRecord(Spare, gmNext, false) != grOK && GetRecord(Spare, gmPrior, false) != grOK) {
    ClearBuffers();
    FBOF = FEOF = true;
    DataEvent(deDataSetChange);
    return;
  }
  std::swap(FBuffers[0], FBuffers[static_cast<std::size_t>(FBufferCount)]);
  FBufferedCount = 1;
  FCurrentRecord = 0;
  int Wanted =
      Mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : std::min(FActiveRecord, FBufferCount - 1);
  FActiveRecord = 0;
  while (FActiveRecord < Wanted && GetPriorRecord())
    ++FActiveRecord;
  GetNextRecords();
  FActiveRecord += GetPriorRecords();
  FBOF = FEOF = false;
  DataEvent(deDataSetChange);
}

void TDataSet::UpdateCursorPos() {
  if (FBufferedCount == 0 || FCurrentRecord == FActiveRecord)
    return;
  TRecordBuffer Buffer = ActiveBuffer();
  if (GetBookmarkFlag(Buffer) != bfCurrent)
    return;
  InternalSetToRecord(Buffer);
  FCurrentRecord = FActiveRecord;
}

// ---- Slots for new records ------------------------------------------------------------

void TDataSet::OpenInsertSlot() {
  if (FBufferedCount == 0) {
    FBufferedCount = 1;
    FActiveRecord = 0;
  } else {
    // The fetch slot moves in at the active row; the records from there shift
    // down, and when the window was full its last record drops out.
    auto First = FBuffers.begin() + FActiveRecord;
    auto End = FBuffers.begin() + FBufferedCount + 1;
    std::rotate(First, End - 1, End);
    if (FBufferedCount < FBufferCount)
      ++FBufferedCount;
  }
  FCurrentRecord = -1;
}

void TDataSet::OpenAppendSlot() {
  ClearBuffers();
  InternalLast();
  while (FBufferedCount < FBufferCount - 1 && GetPriorRecord()) {
  }
  ++FBufferedCount;
  FActiveRecord = FBufferedCount - 1;
}

// ---- Bookmarks ---------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() {
  return !FIsUniDirectional && (FState == dsBrowse || FState == dsEdit || FState == dsCalcFields) &&
         !IsEmpty() &&
         BookmarkSize > 0 && GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable())
    return {};
  TBookmark Result(static_cast<std::size_t>(BookmarkSize));
  GetBookmarkData(ActiveBuffer(), Result.data());
  return Result;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty())
    return;
  CheckBrowseMode();
  CheckBiDirectional();
  // A descendant reads BookmarkSize bytes; a bookmark of another size (from
  // another dataset, or cut short) must not reach it.
  if (BookmarkSize <= 0 || Bookmark.size() != static_cast<std::size_t>(BookmarkSize))
    DatabaseError(SRecordNotFound, this);
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark.data());
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

int TDataSet::CompareBookmarks(const std::uint8_t*, const std::uint8_t*) {
  return 0;
}

bool TDataSet::BookmarkValid(const std::uint8_t*) {
  return false;
}

} // namespace ztl
