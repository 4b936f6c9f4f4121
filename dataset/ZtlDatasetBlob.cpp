// The dataset's blob stream: a view of the cursor's column stream for one
// blob field of the active record.
#include <algorithm>
#include <climits>
#include <string>

#include "dataset/ZtlDataset.h"

namespace ztl {

TZantrelDatasetBlobStream::TZantrelDatasetBlobStream(TBlobField* AField, TBlobStreamMode AMode)
    : TZantrelDatasetBlobStream(
          AField, AMode, AField ? dynamic_cast<TZantrelDataset*>(AField->DataSet()) : nullptr) {}

TZantrelDatasetBlobStream::TZantrelDatasetBlobStream(TBlobField* AField, TBlobStreamMode AMode,
                                                     TZantrelDataset* ADataSet)
    : Field(AField), DataSet(ADataSet), Mode(AMode) {
  if (!DataSet)
    throw EInvalidCast(SInvalidCast);
  FieldNo = Field->FieldNo();
  BlobStream = DataSet->OpenFieldBlob(Field, Mode, Buffer);
  if (!BlobStream)
    return; // no record, or no column streams: an inert stream
  Opened = true;
  if (Mode == bmWrite)
    Truncate();
  else
    Seek(0, soFromBeginning);
}

TZantrelBlobStream* TZantrelDataset::OpenFieldBlob(TBlobField* Field, TBlobStreamMode Mode,
                                                   TRecordBuffer& RecBuf) {
  if (!GetActiveRecBuf(RecBuf))
    return nullptr;
  if (State() == dsFilter)
    DatabaseError(LoadZtlStrFmt(SZtlNoFieldAccess, {Field->DisplayName()}));
  if (Mode == bmWrite && !Field->Modified()) {
    if (Field->ReadOnly())
      DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    if (State() != dsEdit && State() != dsInsert)
      DatabaseError(SNotEditing, this);
  }
  TZantrelBlobManager* Manager = Cursor->GetBlobManager();
  return Manager ? Manager->BlobByName(Field->FieldName()) : nullptr;
}

std::string TZantrelDataset::GetBlobContent(TField* Field) {
  if (!Field || Field->DataSet() != this || !Field->IsBlob())
    return TDataSet::GetBlobContent(Field);
  // From here on, step for step what CreateBlobStream and a read stream
  // read to its end do, without the stream.
  if (State() != dsCalcFields)
    UpdateCursorPos();
  auto* Blob = static_cast<TBlobField*>(Field);
  TRecordBuffer RecBuf = nullptr;
  std::string Content;
  TZantrelBlobStream* Column = OpenFieldBlob(Blob, bmRead, RecBuf);
  if (!Column)
    return Content;
  Column->Seek(0, soFromBeginning);
  if (Cursor->IsNull(RecBuf + NullOffset, Field->FieldNo() - 1))
    return Content;
  // The size is only a hint (a driver may not report it): reading goes on
  // until the stream gives nothing, as a stream read to its end does. The
  // spare byte lets the read that finds the end run without growing.
  const std::int32_t Hint = Column->GetBlobSize();
  Content.resize(static_cast<std::size_t>(std::max(Hint, 0)) + 1);
  std::size_t Got = 0;
  for (;;) {
    if (Got == Content.size())
      Content.resize(Got + Got / 2 + 8192);
    const std::size_t Room = std::min<std::size_t>(Content.size() - Got, INT32_MAX);
    const std::int32_t N = Column->Read(Content.data() + Got, static_cast<std::int32_t>(Room));
    if (N <= 0)
      break;
    Got += static_cast<std::size_t>(N);
  }
  Content.resize(Got);
  // The conversion maps byte by byte, so one pass over the whole equals the
  // stream's pass per read.
  if (Got > 0 && Blob->Transliterate)
    if (TZantrelSession* Session = GetSession())
      for (std::size_t Done = 0; Done < Got;) {
        const std::size_t Count = std::min<std::size_t>(Got - Done, INT32_MAX);
        Session->TranslateChar(Content.data() + Done, Content.data() + Done,
                               static_cast<std::int32_t>(Count), false);
        Done += Count;
      }
  return Content;
}

TZantrelDatasetBlobStream::~TZantrelDatasetBlobStream() {
  if (!Opened || Mode == bmRead || !BlobStream->GetModified())
    return;
  Field->SetModified(true);
  try {
    DataSet->DataEvent(deFieldChange, {Field, 0});
  } catch (...) {
    Application().HandleException(DataSet);
  }
}

bool TZantrelDatasetBlobStream::GetIsNull() {
  return DataSet->Cursor->IsNull(Buffer + DataSet->NullOffset, FieldNo - 1);
}

void TZantrelDatasetBlobStream::SetIsNull(bool Value) {
  DataSet->Cursor->SetNull(Buffer + DataSet->NullOffset, FieldNo - 1, Value);
}

std::int32_t TZantrelDatasetBlobStream::Read(void* ABuffer, std::int32_t Count) {
  if (!Opened || GetIsNull())
    return 0;
  const std::int32_t N = BlobStream->Read(ABuffer, Count);
  if (N > 0 && Field->Transliterate)
    if (TZantrelSession* Session = DataSet->GetSession()) {
      char* Text = static_cast<char*>(ABuffer);
      Session->TranslateChar(Text, Text, N, false);
    }
  return N;
}

std::int32_t TZantrelDatasetBlobStream::Write(const void* ABuffer, std::int32_t Count) {
  // A stream opened for reading changes nothing: the record would not learn
  // of such a change.
  if (!Opened || Mode == bmRead)
    return 0;
  std::int32_t N;
  TZantrelSession* Session = Field->Transliterate ? DataSet->GetSession() : nullptr;
  if (Session && ABuffer && Count > 0) {
    // Converted in a copy: the caller's bytes are not ours to change.
    std::string Converted(static_cast<const char*>(ABuffer), static_cast<std::size_t>(Count));
    Session->TranslateChar(Converted.data(), Converted.data(), Count, true);
    N = BlobStream->Write(Converted.data(), Count);
  } else {
    N = BlobStream->Write(ABuffer, Count);
  }
  SetIsNull(BlobStream->GetEmpty());
  return N;
}

std::int64_t TZantrelDatasetBlobStream::Seek(std::int64_t Offset, int Origin) {
  if (!Opened || (Origin == soFromEnd && GetIsNull()))
    return 0;
  return BlobStream->Seek(Offset, Origin);
}

void TZantrelDatasetBlobStream::Truncate() {
  if (!Opened || Mode == bmRead)
    return;
  BlobStream->Truncate();
  SetIsNull(BlobStream->GetEmpty());
}

} // namespace ztl
