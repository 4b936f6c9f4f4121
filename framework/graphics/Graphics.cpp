// Pictures: reading, checking and writing the bitmap, enhanced metafile and
// icon file formats, and the picture that holds one graphic.
#include "framework/graphics/Graphics.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "framework/classes/Streams.h"

namespace ztl {

namespace {

std::uint16_t Le16(const std::vector<std::uint8_t>& B, std::size_t Off) {
  return static_cast<std::uint16_t>(B[Off] | (B[Off + 1] << 8));
}

std::uint32_t Le32(const std::vector<std::uint8_t>& B, std::size_t Off) {
  return static_cast<std::uint32_t>(B[Off]) | (static_cast<std::uint32_t>(B[Off + 1]) << 8) |
         (static_cast<std::uint32_t>(B[Off + 2]) << 16) |
         (static_cast<std::uint32_t>(B[Off + 3]) << 24);
}

std::int32_t LeI32(const std::vector<std::uint8_t>& B, std::size_t Off) {
  return static_cast<std::int32_t>(Le32(B, Off));
}

void Put16(std::vector<std::uint8_t>& B, std::size_t Off, std::uint16_t V) {
  B[Off] = static_cast<std::uint8_t>(V);
  B[Off + 1] = static_cast<std::uint8_t>(V >> 8);
}

void Put32(std::vector<std::uint8_t>& B, std::size_t Off, std::uint32_t V) {
  for (int I = 0; I < 4; ++I)
    B[Off + static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V >> (8 * I));
}

[[noreturn]] void Invalid(const char* Msg) {
  throw EInvalidGraphic(Msg);
}

// The largest image any stream of ours can hold (Read and Write move 32-bit
// counts); also keeps every size computation below inside 64 bits.
constexpr std::int64_t MaxImageBytes = std::numeric_limits<std::int32_t>::max();

// ---- bitmap layout
constexpr std::size_t BmpFileHeaderSize = 14;
constexpr std::size_t BmpInfoHeaderSize = 40;
constexpr std::size_t BmpCoreHeaderSize = 12;
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;

// Bytes of one row of Width pixels at BitCount bits, padded to 4 bytes.
std::int64_t RowBytes(std::int64_t Width, std::int64_t BitCount) {
  return (Width * BitCount + 31) / 32 * 4;
}

// Checks a whole bitmap file held in B and returns its dimensions and bit
// count; raises EInvalidGraphic on anything that does not fit.
void ParseBitmap(const std::vector<std::uint8_t>& B, int& Width, int& Height, int& BitCount) {
  const std::int64_t FileSize = static_cast<std::int64_t>(B.size());
  if (FileSize < static_cast<std::int64_t>(BmpFileHeaderSize + BmpCoreHeaderSize))
    Invalid(SInvalidBitmap);
  const std::int64_t OffBits = Le32(B, 10);
  const std::int64_t InfoSize = Le32(B, BmpFileHeaderSize);
  const bool Core = InfoSize == BmpCoreHeaderSize;
  if (!Core && InfoSize != 40 && InfoSize != 52 && InfoSize != 56 && InfoSize != 64 &&
      InfoSize != 108 && InfoSize != 124)
    Invalid(SInvalidBitmap);
  const std::int64_t InfoEnd = static_cast<std::int64_t>(BmpFileHeaderSize) + InfoSize;
  if (InfoEnd > FileSize || OffBits < InfoEnd || OffBits > FileSize)
    Invalid(SInvalidBitmap);

  const std::size_t I = BmpFileHeaderSize;
  std::int64_t W = 0;
  std::int64_t H = 0;
  std::uint32_t Planes = 0;
  std::uint32_t Bits = 0;
  std::uint32_t Compression = BI_RGB;
  std::int64_t SizeImage = 0;
  std::int64_t ClrUsed = 0;
  if (Core) {
    W = Le16(B, I + 4);
    H = Le16(B, I + 6);
    Planes = Le16(B, I + 8);
    Bits = Le16(B, I + 10);
  } else {
    W = LeI32(B, I + 4);
    H = LeI32(B, I + 8);
    Planes = Le16(B, I + 12);
    Bits = Le16(B, I + 14);
    Compression = Le32(B, I + 16);
    SizeImage = Le32(B, I + 20);
    ClrUsed = Le32(B, I + 32);
  }
  // A negative height marks top-down rows, which cannot be run-length coded.
  if (Planes != 1 || W <= 0 || H == 0 || H == std::numeric_limits<std::int32_t>::min())
    Invalid(SInvalidBitmap);
  switch (Bits) {
  case 1:
  case 4:
  case 8:
  case 16:
  case 24:
  case 32:
    break;
  default:
    Invalid(SInvalidBitmap);
  }
  const bool Fits = Compression == BI_RGB || (Compression == BI_RLE8 && Bits == 8 && H > 0) ||
                    (Compression == BI_RLE4 && Bits == 4 && H > 0) ||
                    (Compression == BI_BITFIELDS && (Bits == 16 || Bits == 32));
  if (!Fits)
    Invalid(SInvalidBitmap);

  // Colour table (and the masks that follow a plain info header) must end
  // before the pixels start.
  const std::int64_t MaxColors = Bits <= 8 ? (std::int64_t{1} << Bits) : 0;
  if (Bits <= 8 && ClrUsed > MaxColors)
    Invalid(SInvalidBitmap);
  const std::int64_t Colors = Bits <= 8 && ClrUsed == 0 ? MaxColors : ClrUsed;
  const std::int64_t Masks =
      Compression == BI_BITFIELDS && InfoSize == static_cast<std::int64_t>(BmpInfoHeaderSize) ? 12
                                                                                              : 0;
  if (InfoEnd + Masks + Colors * (Core ? 3 : 4) > OffBits)
    Invalid(SInvalidBitmap);

  const std::int64_t AbsH = H < 0 ? -H : H;
  const std::int64_t PixelBytes = FileSize - OffBits;
  if (Compression == BI_RLE8 || Compression == BI_RLE4) {
    if (SizeImage <= 0 || SizeImage > PixelBytes)
      Invalid(SInvalidBitmap);
  } else {
    // W and AbsH are below 2^31 and Bits at most 32: no overflow in the row,
    // and the division keeps the product from being formed at all.
    const std::int64_t Row = RowBytes(W, Bits);
    if (AbsH > PixelBytes / Row)
      Invalid(SInvalidBitmap);
  }
  Width = static_cast<int>(W);
  Height = static_cast<int>(AbsH);
  BitCount = static_cast<int>(Bits);
}

// ---- metafile layout
constexpr std::size_t EmfHeaderSize = 88;
constexpr std::uint32_t EMR_HEADER = 1;
constexpr std::uint32_t EMR_EOF = 14;
constexpr std::uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr std::size_t EmfEofSize = 20;

// Hundredths of a millimetre to pixels at 96 dots per inch, rounded.
std::int64_t FrameToPixels(std::int64_t Hundredths) {
  return (Hundredths * 96 + 1270) / 2540;
}
std::int64_t PixelsToFrame(std::int64_t Pixels) {
  return (Pixels * 2540 + 48) / 96;
}

// Checks a whole enhanced metafile held in B; raises EInvalidGraphic.
void ParseMetafile(const std::vector<std::uint8_t>& B, int& Width, int& Height) {
  const std::size_t Total = B.size();
  if (Total < EmfHeaderSize + EmfEofSize || Le32(B, 0) != EMR_HEADER || Le32(B, 40) != EmfSignature)
    Invalid(SInvalidMetafile);
  const std::uint32_t HeaderSize = Le32(B, 4);
  if (HeaderSize < EmfHeaderSize || HeaderSize % 4 != 0 || HeaderSize > Total - EmfEofSize)
    Invalid(SInvalidMetafile);
  if (Le32(B, 48) != Total)
    Invalid(SInvalidMetafile);
  const std::uint32_t DescLen = Le32(B, 60);
  const std::uint32_t DescOff = Le32(B, 64);
  if (DescLen != 0 &&
      (DescOff < EmfHeaderSize || std::uint64_t{DescOff} + std::uint64_t{DescLen} * 2 > HeaderSize))
    Invalid(SInvalidMetafile);

  // Walk the records: each has a sane size inside the file, and the last is
  // the end record.
  std::size_t Off = 0;
  std::uint64_t Records = 0;
  std::uint32_t LastType = 0;
  while (Off < Total) {
    if (Total - Off < 8)
      Invalid(SInvalidMetafile);
    const std::uint32_t Type = Le32(B, Off);
    const std::uint32_t Size = Le32(B, Off + 4);
    if (Size < 8 || Size % 4 != 0 || Size > Total - Off || (Records == 0) != (Type == EMR_HEADER))
      Invalid(SInvalidMetafile);
    LastType = Type;
    Off += Size;
    ++Records;
    if (Type == EMR_EOF)
      break;
  }
  if (LastType != EMR_EOF || Off != Total || Records != Le32(B, 52))
    Invalid(SInvalidMetafile);

  const std::int64_t FrameW = std::int64_t{LeI32(B, 32)} - LeI32(B, 24);
  const std::int64_t FrameH = std::int64_t{LeI32(B, 36)} - LeI32(B, 28);
  if (FrameW < 0 || FrameH < 0)
    Invalid(SInvalidMetafile);
  Width = static_cast<int>(FrameToPixels(FrameW));
  Height = static_cast<int>(FrameToPixels(FrameH));
}

// ---- icon layout
constexpr std::size_t IconDirSize = 6;
constexpr std::size_t IconEntrySize = 16;
constexpr std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Checks the images of an icon file whose directory and images are all in B
// (the directory itself was checked while reading); raises EInvalidGraphic.
void ParseIconImages(const std::vector<std::uint8_t>& B, int Count) {
  for (int I = 0; I < Count; ++I) {
    const std::size_t Entry = IconDirSize + static_cast<std::size_t>(I) * IconEntrySize;
    const std::size_t Bytes = Le32(B, Entry + 8);
    const std::size_t Off = Le32(B, Entry + 12);
    const bool IsPng = Bytes >= sizeof PngSignature &&
                       std::memcmp(&B[Off], PngSignature, sizeof PngSignature) == 0;
    const bool IsDib = Bytes >= BmpInfoHeaderSize && Le32(B, Off) == BmpInfoHeaderSize &&
                       LeI32(B, Off + 4) > 0 && LeI32(B, Off + 8) > 0;
    if (!IsPng && !IsDib)
      Invalid(SInvalidIcon);
  }
}

} // namespace

// --------------------------------------------------------------- TGraphic

void TGraphic::SaveToStream(TStream& Stream) const {
  if (!Image.empty())
    Stream.WriteBuffer(Image.data(), static_cast<std::int32_t>(Image.size()));
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream);
}

void TGraphic::SaveToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(Stream);
}

void TGraphic::Clear() {
  SetImage({}, 0, 0);
}

void TGraphic::SetImage(std::vector<std::uint8_t> AImage, int AWidth, int AHeight) {
  Image = std::move(AImage);
  Width = AWidth;
  Height = AHeight;
}

void TGraphic::Assign(const TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  const auto* Other = dynamic_cast<const TGraphic*>(Source);
  if (Other && typeid(*Other) == typeid(*this)) {
    if (Other != this) {
      SetImage(Other->Image, Other->Width, Other->Height);
      AssignExtras(*Other);
    }
    return;
  }
  TPersistent::Assign(Source);
}

std::int64_t TGraphic::Remaining(TStream& Stream) {
  return std::max<std::int64_t>(Stream.GetSize() - Stream.GetPosition(), 0);
}

void TGraphic::ReadMore(TStream& Stream, std::vector<std::uint8_t>& Buffer, std::int64_t Count,
                        const char* Msg) {
  // Callers have bounded Count by what the stream holds, so this allocation
  // is never larger than the data behind it.
  if (Count < 0 || Count > MaxImageBytes - static_cast<std::int64_t>(Buffer.size()))
    Invalid(Msg);
  const std::size_t Old = Buffer.size();
  Buffer.resize(Old + static_cast<std::size_t>(Count));
  if (Count > 0 && Stream.Read(Buffer.data() + Old, static_cast<std::int32_t>(Count)) != Count)
    Invalid(Msg);
}

// ---------------------------------------------------------------- TBitmap

void TBitmap::LoadFromStream(TStream& Stream) {
  const std::int64_t Avail = Remaining(Stream);
  if (Avail == 0) {
    Clear();
    return;
  }
  std::vector<std::uint8_t> B;
  if (Avail < static_cast<std::int64_t>(BmpFileHeaderSize))
    Invalid(SInvalidBitmap);
  ReadMore(Stream, B, BmpFileHeaderSize, SInvalidBitmap);
  if (B[0] != 'B' || B[1] != 'M')
    Invalid(SInvalidBitmap);
  const std::int64_t FileSize = Le32(B, 2);
  if (FileSize < static_cast<std::int64_t>(BmpFileHeaderSize + BmpCoreHeaderSize) ||
      FileSize > Avail)
    Invalid(SInvalidBitmap);
  ReadMore(Stream, B, FileSize - static_cast<std::int64_t>(BmpFileHeaderSize), SInvalidBitmap);
  int W = 0;
  int H = 0;
  int Bits = 0;
  ParseBitmap(B, W, H, Bits);
  SetImage(std::move(B), W, H);
  BitCount = Bits;
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  auto Copy = std::make_unique<TBitmap>();
  Copy->Assign(this);
  return Copy;
}

void TBitmap::AssignExtras(const TGraphic& Source) {
  BitCount = static_cast<const TBitmap&>(Source).BitCount;
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth < 0 || AHeight < 0)
    Invalid(SInvalidImageSize);
  if (AWidth == 0 || AHeight == 0) {
    Clear();
    return;
  }
  const std::int64_t Row = RowBytes(AWidth, 24);
  const std::int64_t Header = BmpFileHeaderSize + BmpInfoHeaderSize;
  if (AHeight > (MaxImageBytes - Header) / Row)
    Invalid(SInvalidImageSize);
  const std::int64_t Pixels = Row * AHeight;
  const std::int64_t FileSize = Header + Pixels;

  std::vector<std::uint8_t> B(static_cast<std::size_t>(FileSize), 0);
  B[0] = 'B';
  B[1] = 'M';
  Put32(B, 2, static_cast<std::uint32_t>(FileSize));
  Put32(B, 10, static_cast<std::uint32_t>(Header));
  const std::size_t I = BmpFileHeaderSize;
  Put32(B, I, BmpInfoHeaderSize);
  Put32(B, I + 4, static_cast<std::uint32_t>(AWidth));
  Put32(B, I + 8, static_cast<std::uint32_t>(AHeight));
  Put16(B, I + 12, 1);  // planes
  Put16(B, I + 14, 24); // bits per pixel
  Put32(B, I + 16, BI_RGB);
  Put32(B, I + 20, static_cast<std::uint32_t>(Pixels));
  SetImage(std::move(B), AWidth, AHeight);
  BitCount = 24;
}

// -------------------------------------------------------------- TMetafile

void TMetafile::LoadFromStream(TStream& Stream) {
  const std::int64_t Avail = Remaining(Stream);
  if (Avail == 0) {
    Clear();
    return;
  }
  std::vector<std::uint8_t> B;
  if (Avail < static_cast<std::int64_t>(EmfHeaderSize))
    Invalid(SInvalidMetafile);
  ReadMore(Stream, B, EmfHeaderSize, SInvalidMetafile);
  if (Le32(B, 0) != EMR_HEADER || Le32(B, 40) != EmfSignature)
    Invalid(SInvalidMetafile);
  const std::int64_t Total = Le32(B, 48);
  if (Total < static_cast<std::int64_t>(EmfHeaderSize + EmfEofSize) || Total % 4 != 0 ||
      Total > Avail)
    Invalid(SInvalidMetafile);
  ReadMore(Stream, B, Total - static_cast<std::int64_t>(EmfHeaderSize), SInvalidMetafile);
  int W = 0;
  int H = 0;
  ParseMetafile(B, W, H);
  SetImage(std::move(B), W, H);
}

std::unique_ptr<TGraphic> TMetafile::Clone() const {
  auto Copy = std::make_unique<TMetafile>();
  Copy->Assign(this);
  return Copy;
}

void TMetafile::SetSize(int AWidth, int AHeight) {
  if (AWidth < 0 || AHeight < 0 || AWidth > 65535 || AHeight > 65535)
    Invalid(SInvalidImageSize);
  if (AWidth == 0 && AHeight == 0) {
    Clear();
    return;
  }
  std::vector<std::uint8_t> B(EmfHeaderSize + EmfEofSize, 0);
  Put32(B, 0, EMR_HEADER);
  Put32(B, 4, EmfHeaderSize);
  // Bounds: the inclusive device rectangle of what is drawn; nothing is, so
  // it is the empty rectangle that the system writes for a blank metafile.
  Put32(B, 8, 0);
  Put32(B, 12, 0);
  Put32(B, 16, static_cast<std::uint32_t>(-1));
  Put32(B, 20, static_cast<std::uint32_t>(-1));
  Put32(B, 24, 0); // frame, hundredths of a millimetre
  Put32(B, 28, 0);
  Put32(B, 32, static_cast<std::uint32_t>(PixelsToFrame(AWidth)));
  Put32(B, 36, static_cast<std::uint32_t>(PixelsToFrame(AHeight)));
  Put32(B, 40, EmfSignature);
  Put32(B, 44, 0x10000); // version
  Put32(B, 48, static_cast<std::uint32_t>(B.size()));
  Put32(B, 52, 2); // records: header and end
  Put16(B, 56, 1); // handles: the reserved handle 0
  // Reference device: 1920 x 1080 pixels on 508 x 286 mm, i.e. 96 dpi.
  Put32(B, 72, 1920);
  Put32(B, 76, 1080);
  Put32(B, 80, 508);
  Put32(B, 84, 286);
  const std::size_t E = EmfHeaderSize;
  Put32(B, E, EMR_EOF);
  Put32(B, E + 4, EmfEofSize);
  Put32(B, E + 8, 0);   // palette entries
  Put32(B, E + 12, 16); // offset of the (absent) palette
  Put32(B, E + 16, EmfEofSize);
  SetImage(std::move(B), AWidth, AHeight);
}

// ------------------------------------------------------------------ TIcon

void TIcon::LoadFromStream(TStream& Stream) {
  const std::int64_t Avail = Remaining(Stream);
  if (Avail == 0) {
    Clear();
    return;
  }
  std::vector<std::uint8_t> B;
  if (Avail < static_cast<std::int64_t>(IconDirSize))
    Invalid(SInvalidIcon);
  ReadMore(Stream, B, IconDirSize, SInvalidIcon);
  const int Count = Le16(B, 4);
  if (Le16(B, 0) != 0 || Le16(B, 2) != 1 || Count == 0)
    Invalid(SInvalidIcon);
  const std::int64_t DirEnd =
      static_cast<std::int64_t>(IconDirSize) + static_cast<std::int64_t>(Count) * IconEntrySize;
  if (DirEnd > Avail)
    Invalid(SInvalidIcon);
  ReadMore(Stream, B, DirEnd - static_cast<std::int64_t>(IconDirSize), SInvalidIcon);
  std::int64_t End = DirEnd;
  for (int I = 0; I < Count; ++I) {
    const std::size_t Entry = IconDirSize + static_cast<std::size_t>(I) * IconEntrySize;
    const std::int64_t Bytes = Le32(B, Entry + 8);
    const std::int64_t Off = Le32(B, Entry + 12);
    if (Bytes == 0 || Off < DirEnd || Off + Bytes > Avail)
      Invalid(SInvalidIcon);
    End = std::max(End, Off + Bytes);
  }
  ReadMore(Stream, B, End - DirEnd, SInvalidIcon);
  ParseIconImages(B, Count);
  const int W = B[IconDirSize] == 0 ? 256 : B[IconDirSize];
  const int H = B[IconDirSize + 1] == 0 ? 256 : B[IconDirSize + 1];
  SetImage(std::move(B), W, H);
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
  auto Copy = std::make_unique<TIcon>();
  Copy->Assign(this);
  return Copy;
}

void TIcon::SetSize(int AWidth, int AHeight) {
  if (AWidth == 0 && AHeight == 0) {
    Clear();
    return;
  }
  if (AWidth < 1 || AHeight < 1 || AWidth > 256 || AHeight > 256)
    Invalid(SInvalidImageSize);
  // One 32-bit image: colour rows (4 bytes a pixel) then the 1-bit AND mask
  // with rows padded to 4 bytes; the header's height counts both.
  const std::size_t Colour =
      static_cast<std::size_t>(AWidth) * 4 * static_cast<std::size_t>(AHeight);
  const std::size_t Mask =
      static_cast<std::size_t>(RowBytes(AWidth, 1)) * static_cast<std::size_t>(AHeight);
  const std::size_t ImageBytes = BmpInfoHeaderSize + Colour + Mask;
  const std::size_t Off = IconDirSize + IconEntrySize;
  std::vector<std::uint8_t> B(Off + ImageBytes, 0);
  Put16(B, 2, 1); // type: icon
  Put16(B, 4, 1); // one image
  B[IconDirSize] = static_cast<std::uint8_t>(AWidth == 256 ? 0 : AWidth);
  B[IconDirSize + 1] = static_cast<std::uint8_t>(AHeight == 256 ? 0 : AHeight);
  Put16(B, IconDirSize + 4, 1);  // planes
  Put16(B, IconDirSize + 6, 32); // bits per pixel
  Put32(B, IconDirSize + 8, static_cast<std::uint32_t>(ImageBytes));
  Put32(B, IconDirSize + 12, static_cast<std::uint32_t>(Off));
  Put32(B, Off, BmpInfoHeaderSize);
  Put32(B, Off + 4, static_cast<std::uint32_t>(AWidth));
  Put32(B, Off + 8, static_cast<std::uint32_t>(AHeight * 2));
  Put16(B, Off + 12, 1);
  Put16(B, Off + 14, 32);
  Put32(B, Off + 20, static_cast<std::uint32_t>(Colour + Mask));
  SetImage(std::move(B), AWidth, AHeight);
}

// --------------------------------------------------------------- TPicture

template <class G>
G* TPicture::Ensure() {
  if (auto* Held = dynamic_cast<G*>(Graphic.get()))
    return Held;
  auto Fresh = std::make_unique<G>();
  G* const Result = Fresh.get();
  Graphic = std::move(Fresh);
  return Result;
}

TBitmap* TPicture::GetBitmap() {
  return Ensure<TBitmap>();
}
TMetafile* TPicture::GetMetafile() {
  return Ensure<TMetafile>();
}
TIcon* TPicture::GetIcon() {
  return Ensure<TIcon>();
}

void TPicture::SetGraphic(const TGraphic* Value) {
  // Copy first: Value may be the graphic this picture holds.
  std::unique_ptr<TGraphic> Copy = Value ? Value->Clone() : nullptr;
  Graphic = std::move(Copy);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string Ext = LowerCase(ExtractFileExt(FileName));
  std::unique_ptr<TGraphic> Fresh;
  if (Ext == ".bmp")
    Fresh = std::make_unique<TBitmap>();
  else if (Ext == ".emf")
    Fresh = std::make_unique<TMetafile>();
  else if (Ext == ".ico")
    Fresh = std::make_unique<TIcon>();
  else
    throw EInvalidGraphic(Format(
        SUnknownExtension, {Ext.empty() ? std::string_view() : std::string_view(Ext).substr(1)}));
  Fresh->LoadFromFile(FileName);
  Graphic = std::move(Fresh);
}

void TPicture::SaveToFile(const std::string& FileName) const {
  if (Graphic)
    Graphic->SaveToFile(FileName);
}

void TPicture::Assign(const TPersistent* Source) {
  if (!Source) {
    Graphic.reset();
    return;
  }
  if (const auto* Other = dynamic_cast<const TPicture*>(Source)) {
    SetGraphic(Other->Graphic.get());
    return;
  }
  if (const auto* AGraphic = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(AGraphic);
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::AssignTo(TPersistent* Dest) const {
  auto* Target = dynamic_cast<TGraphic*>(Dest);
  const TGraphic* Held = Graphic.get();
  if (Target && Held && typeid(*Target) == typeid(*Held)) {
    Target->Assign(Graphic.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

} // namespace ztl
