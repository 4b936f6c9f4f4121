// Whole-blob transfer between blob columns and caller's streams or pictures,
// and the helpers that turn memory blocks into byte arrays and strings.
#include <limits>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"
#include "framework/graphics/Graphics.h"

namespace ztl {

namespace {

// The picture's graphic of the kind a blob holds, as TPicture hands it out;
// nullptr for a value outside the kinds.
TGraphic* GraphicOf(TPicture& Picture, TZantrelGraphicType GraphicType) {
  switch (GraphicType) {
  case gtBitmap:
    return Picture.GetBitmap();
  case gtMetafile:
    return Picture.GetMetafile();
  case gtIcon:
    return Picture.GetIcon();
  }
  return nullptr;
}

} // namespace

void TZantrelSQL::StreamToBlob(const Variant& Field, TStream* Stream) {
  if (ReadOnly)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), 0);
  if (!Stream)
    RaiseLastError(LoadZtlStr(ZTL_ERR_BLOB_STREAM_INVALID), 0);
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  TZantrelBlobStream* Blob = BlobManager->BlobByName(Def.Name);
  CheckNullsExist(CurrentNulls);
  // Truncate, not Clear: an empty source still replaces the stored value.
  Blob->Truncate();
  Blob->CopyFrom(*Stream, 0);
  SetNull(CurrentNulls.Data(), Def.Index, false);
}

void TZantrelSQL::BlobToStream(const Variant& Field, TStream* Stream) {
  if (!Stream)
    RaiseLastError(LoadZtlStr(ZTL_ERR_BLOB_STREAM_INVALID), 0);
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  TZantrelBlobStream* Blob = BlobManager->BlobByName(Def.Name);
  Blob->SetPosition(0);
  if (auto* Memory = dynamic_cast<TMemoryStream*>(Stream))
    Memory->SetSize(Blob->GetSize());
  // The whole value, written at the target's position.
  const std::int64_t Count = Blob->GetSize();
  if (Count > 0)
    Stream->CopyFrom(*Blob, Count);
  Stream->SetPosition(0);
}

void TZantrelSQL::GraphicToBlob(const Variant& Field, TPicture* Picture,
                                TZantrelGraphicType GraphicType) {
  if (ReadOnly)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), 0);
  if (!Picture)
    RaiseLastError(LoadZtlStr(ZTL_ERR_BLOB_PICTURE_INVALID), 0);
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  TZantrelBlobStream* Blob = BlobManager->BlobByName(Def.Name);
  CheckNullsExist(CurrentNulls);
  Blob->Clear();
  if (TGraphic* Graphic = GraphicOf(*Picture, GraphicType))
    Graphic->SaveToStream(*Blob);
  // Even a type that saved nothing leaves the column not null.
  SetNull(CurrentNulls.Data(), Def.Index, false);
}

void TZantrelSQL::BlobToGraphic(const Variant& Field, TPicture* Picture,
                                TZantrelGraphicType GraphicType) {
  if (!Picture)
    RaiseLastError(LoadZtlStr(ZTL_ERR_BLOB_PICTURE_INVALID), 0);
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  TZantrelBlobStream* Blob = BlobManager->BlobByName(Def.Name);
  Blob->SetPosition(0);
  if (TGraphic* Graphic = GraphicOf(*Picture, GraphicType))
    Graphic->LoadFromStream(*Blob);
}

Variant TZantrelSQL::StrToVarByte(const void* P, std::int32_t Len) {
  if (Len < 1 || !P)
    return Variant::Null();
  return VarArrayFromBytes(P, static_cast<std::size_t>(Len), 0);
}

Variant TZantrelSQL::StreamToVarByte(TMemoryStream* Stream) {
  if (!Stream)
    return Variant::Null();
  const std::int64_t Size = Stream->GetSize();
  if (Size > std::numeric_limits<std::int32_t>::max())
    return VarArrayFromBytes(Stream->Memory(), static_cast<std::size_t>(Size), 0);
  return StrToVarByte(Stream->Memory(), static_cast<std::int32_t>(Size));
}

std::string TZantrelSQL::StreamToStr(TMemoryStream* Stream) {
  if (!Stream || !Stream->Memory() || Stream->GetSize() <= 0)
    return {};
  return std::string(static_cast<const char*>(Stream->Memory()),
                     static_cast<std::size_t>(Stream->GetSize()));
}

} // namespace ztl
