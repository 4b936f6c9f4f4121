// The stored format of a parameter collection: the bytes of the binary
// property "Data" in form files, in the current layout (version word, flag
// bytes) and the older one, and the property's registration with the filer.
//
// Every length read from a stream is checked against what the stream still
// holds before anything is allocated or read, so a corrupt or hostile form
// file ends in a read error, never in a huge allocation or a read past the
// data.
#include <algorithm>
#include <array>
#include <limits>

#include "dataset/ZtlParams.h"
#include "framework/classes/FormFiles.h"
#include "framework/classes/Streams.h"

namespace ztl {

namespace {

[[noreturn]] void ReadError() {
  throw EReadError(SReadError);
}

std::int64_t Remaining(TStream& Stream) {
  return Stream.GetSize() - Stream.GetPosition();
}

// A signed 32-bit length followed by that many characters.
void WriteText(TStream& Stream, const std::string& Text) {
  if (Text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EWriteError(SWriteError);
  Stream.WriteInt32(static_cast<std::int32_t>(Text.size()));
  Stream.WriteString(Text);
}

// A length that is negative or larger than the rest of the stream cannot be
// right; it is refused before the text is read.
std::string ReadText(TStream& Stream) {
  const std::int32_t Length = Stream.ReadInt32();
  if (Length < 0 || Length > Remaining(Stream))
    ReadError();
  return Stream.ReadString(Length);
}

} // namespace

void TZantrelParams::WriteBinaryData(TStream& Stream) const {
  Stream.WriteInt32(GetVersion());
  Stream.WriteInt32(Count());
  // Each parameter writes its own record: going by name would write the first
  // of a duplicated name once per holder and lose the others on reloading.
  for (int I = 0; I < Count(); ++I) {
    const TZantrelParam* Param = GetItem(I);
    WriteText(Stream, Param->Name);
    WriteText(Stream, Param->Alias);
    Stream.WriteUInt8(Param->DataType);
    if (Param->DataType != ntUnknown) {
      const std::string Data = Param->GetDataBytes();
      const auto Size = static_cast<std::int32_t>(
          std::min<std::size_t>(Data.size(), static_cast<std::size_t>(ZtlMaxParamDataSize)));
      Stream.WriteInt32(Size);
      Stream.WriteBuffer(Data.data(), Size);
    }
    Stream.WriteUInt8(Param->FIsNull ? 1 : 0);
    Stream.WriteUInt8(Param->Bound ? 1 : 0);
    Stream.WriteUInt8(Param->ParamType);
  }
}

void TZantrelParams::ReadBinaryData(TStream& Stream) {
  Clear();
  const std::int32_t First = Stream.ReadInt32();
  const bool Current = First == GetVersion();
  const std::int32_t Records = Current ? Stream.ReadInt32() : First;

  for (std::int32_t I = 0; I < Records; ++I) {
    // The parameter belongs to the collection before any field is read, so
    // a stream that ends inside the record leaves it partly read.
    TZantrelParam* Param = CreateParam();
    Param->Name = ReadText(Stream);
    Param->Alias = ReadText(Stream);

    const std::uint8_t Type = Stream.ReadUInt8();
    if (Type > ntBlob)
      ReadError(); // no layout to read its data with
    Param->DataType = static_cast<TZantrelParamDataType>(Type);

    if (Param->DataType != ntUnknown) {
      const std::int32_t Size = Stream.ReadInt32();
      if (Size < 0 || Size > ZtlMaxParamDataSize || Size > Remaining(Stream))
        ReadError();
      // Zero-filled: a fixed-size value stored shorter than its type reads
      // its missing bytes as zero.
      std::array<std::uint8_t, ZtlMaxParamDataSize> Block{};
      Stream.ReadBuffer(Block.data(), Size);
      if (Param->DataType == ntBinary || Param->DataType == ntBlob) {
        Param->InitValue();
        Param->Value = Variant(std::string(reinterpret_cast<const char*>(Block.data()),
                                           static_cast<std::size_t>(Size)));
      } else {
        Param->SetData(Block.data(), static_cast<std::size_t>(Size));
      }
    }

    if (Current) {
      // Stored as read: any nonzero byte is true, and the direction byte is
      // kept even outside the known directions.
      Param->FIsNull = Stream.ReadUInt8() != 0;
      Param->Bound = Stream.ReadUInt8() != 0;
      Param->ParamType = static_cast<TZantrelParamType>(Stream.ReadUInt8());
    }
  }
}

void TZantrelParams::DefineProperties(TFiler* Filer) {
  TPersistent::DefineProperties(Filer);
  if (!Filer)
    return;
  bool HasData = Count() > 0;
  if (TPersistent* Ancestor = Filer->GetAncestor()) {
    // A collection equal to the one of the form it inherits from is not
    // repeated; one that cannot be compared is written.
    const auto* AncestorParams = dynamic_cast<const TZantrelParams*>(Ancestor);
    HasData = !AncestorParams || !IsEqual(AncestorParams);
  }
  Filer->DefineBinaryProperty(
      "Data", [this](TStream& Stream) { ReadBinaryData(Stream); },
      [this](TStream& Stream) { WriteBinaryData(Stream); }, HasData);
}

} // namespace ztl
