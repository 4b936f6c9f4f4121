// The dataset's blob stream: a view of the cursor's column stream for one
// blob field of the active record.
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
  if (!DataSet->GetActiveRecBuf(Buffer))
    return; // no record: an inert stream
  if (DataSet->State() == dsFilter)
    DatabaseError(LoadZtlStrFmt(SZtlNoFieldAccess, {Field->DisplayName()}));
  if (Mode == bmWrite && !Field->Modified()) {
    if (Field->ReadOnly())
      DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    if (DataSet->State() != dsEdit && DataSet->State() != dsInsert)
      DatabaseError(SNotEditing, DataSet);
  }
  TZantrelBlobManager* Manager = DataSet->Cursor->GetBlobManager();
  if (!Manager)
    return;
  BlobStream = Manager->BlobByName(Field->FieldName());
  Opened = true;
  if (Mode == bmWrite)
    Truncate();
  else
    Seek(0, soFromBeginning);
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
