// Blob streams of memo and blob columns and the manager that owns them.
#include "core/ZtlBlob.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"

namespace ztl {

TZantrelBlobStream::TZantrelBlobStream(TZantrelBlobManager* AManager, std::string AFieldName)
    : FieldName(std::move(AFieldName)) {
  if (AManager)
    AManager->AddBlob(this);
}

TZantrelBlobStream::~TZantrelBlobStream() {
  if (Manager)
    Manager->RemoveBlob(this);
}

std::int32_t TZantrelBlobStream::Write(const void* Buffer, std::int32_t Count) {
  constexpr std::int64_t MaxSize = std::numeric_limits<std::int32_t>::max();
  // A position past the largest block is refused before it enters the size
  // sum, which would otherwise overflow for positions near the 64-bit limit.
  if (Count < 0 || Position < 0 || Position > MaxSize || (Count > 0 && !Buffer))
    return 0;
  // Data always grows by Count; a position past the data first pulls the end
  // up to it, the gap reading as zero bytes, so the copy stays in the block.
  const std::int64_t NewSize =
      Count == 0 ? std::int64_t{Size} : std::max<std::int64_t>(Size, Position) + Count;
  if (NewSize > MaxSize)
    return 0;
  Memory.resize(static_cast<std::size_t>(NewSize));
  Size = static_cast<std::int32_t>(NewSize);
  Empty = Memory.empty();
  if (Empty)
    return 0;
  if (Count > 0)
    std::memcpy(Memory.data() + Position, Buffer, static_cast<std::size_t>(Count));
  Position += Count;
  Modified = true;
  return Count;
}

std::int64_t TZantrelBlobStream::Seek(std::int64_t Offset, int Origin) {
  std::int64_t Base = 0;
  switch (Origin) {
  case soFromBeginning:
    Base = 0;
    break;
  case soFromCurrent:
    Base = Position;
    break;
  case soFromEnd:
    Base = GetBlobSize();
    break;
  default:
    return Position;
  }
  std::int64_t NewPosition = 0;
  if (!__builtin_add_overflow(Base, Offset, &NewPosition))
    Position = NewPosition;
  return Position;
}

void TZantrelBlobStream::Clear() {
  std::vector<std::uint8_t>().swap(Memory);
  Size = 0;
  Position = 0;
  Modified = false;
  Empty = true;
}

void TZantrelBlobStream::Truncate() {
  Clear();
  Modified = true;
}

std::int32_t TZantrelBlobStream::GetBlobSize() {
  return Modified ? Size : 0;
}

std::int32_t TZantrelBlobStream::GetFieldNo() const {
  if (!Manager || !Manager->GetSQL())
    return -1;
  const TZantrelFieldDef* Def = Manager->GetSQL()->GetFieldDefs().FieldByName(FieldName);
  return Def ? Def->Index : -1;
}

std::int32_t TZantrelBlobStream::GetFieldExtType() const {
  if (!Manager || !Manager->GetSQL())
    return -1;
  const TZantrelFieldDef* Def = Manager->GetSQL()->GetFieldDefs().FieldByName(FieldName);
  return Def ? Def->ExtType : -1;
}

void TZantrelBlobStream::LoadData(const void* Data, std::int32_t Count) {
  Clear();
  if (Count <= 0 || !Data)
    return;
  const auto* Bytes = static_cast<const std::uint8_t*>(Data);
  Memory.assign(Bytes, Bytes + Count);
  Size = Count;
  Empty = false;
}

TZantrelBlobManager::~TZantrelBlobManager() {
  Clear();
}

void TZantrelBlobManager::AddBlob(TZantrelBlobStream* Stream) {
  if (!Stream)
    return;
  if (Stream->Manager && Stream->Manager != this)
    Stream->Manager->RemoveBlob(Stream);
  if (std::find(List.begin(), List.end(), Stream) == List.end())
    List.push_back(Stream);
  Stream->Manager = this;
}

void TZantrelBlobManager::RemoveBlob(TZantrelBlobStream* Stream) {
  const auto It = std::find(List.begin(), List.end(), Stream);
  if (It == List.end())
    return;
  List.erase(It);
  Stream->Manager = nullptr;
}

void TZantrelBlobManager::Clear() {
  // Each stream takes itself out of the list as it is destroyed.
  while (!List.empty())
    delete List.back();
}

void TZantrelBlobManager::ClearBlobs() {
  for (TZantrelBlobStream* Stream : List)
    Stream->Clear();
}

TZantrelBlobStream* TZantrelBlobManager::GetBlob(std::uint16_t Index) {
  if (Index >= List.size())
    throw EListError(Format(SListIndexError, {std::int64_t{Index}}));
  // The name, not the stream at Index: the first stream of that name wins.
  const std::string Name = List[Index]->FieldName;
  return BlobByName(Name);
}

TZantrelBlobStream* TZantrelBlobManager::BlobByName(std::string_view Name) {
  // Equal bytes always match; only names that differ in their bytes need
  // the folding comparison.
  for (TZantrelBlobStream* Stream : List) {
    const std::string& Own = Stream->FieldName;
    if (Own == Name || AnsiSameText(Own, Name))
      return Stream;
  }
  const std::string Msg = LoadZtlStrFmt(ZTL_ERR_BLOB_REQUIRED, {Name});
  if (SQL)
    SQL->RaiseLastError(Msg, 0);
  throw EZantrelException(Msg, 0);
}

} // namespace ztl
