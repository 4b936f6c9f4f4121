// Pictures: bitmaps, enhanced metafiles and icons held in their own file
// formats, and the picture that holds one of them. Nothing is drawn; a
// graphic keeps its encoded bytes and the dimensions its header gives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

class TStream;

inline constexpr const char* SInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* SInvalidMetafile = "Metafile is not valid";
inline constexpr const char* SInvalidIcon = "Icon image is not valid";
inline constexpr const char* SInvalidImageSize = "Invalid image size";
inline constexpr const char* SUnknownExtension = "Unknown picture file extension (.%s)";

// A picture in one file format.
//
// LoadFromStream reads one image from the stream's position, as far as the
// format's own header says the image reaches, and checks it before taking
// it: a wrong signature, a size beyond what the stream holds, or counts and
// offsets that do not fit raise EInvalidGraphic with the format's message and
// leave the graphic as it was (the stream's position is then unspecified). A
// stream with no bytes left makes the graphic empty, so that an empty graphic,
// which saves no bytes, loads back as empty. SaveToStream writes the held
// bytes unchanged, so saving what was loaded gives the same bytes.
class TGraphic : public TPersistent {
public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual void LoadFromStream(TStream& Stream) = 0;
  void SaveToStream(TStream& Stream) const;
  // EFOpenError when the file cannot be opened or created.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  int GetWidth() const { return Width; }
  int GetHeight() const { return Height; }
  bool GetEmpty() const { return Image.empty(); }
  // The encoded image, as it would be saved.
  const std::vector<std::uint8_t>& GetImage() const { return Image; }
  void Clear();

  // Copies a graphic of the same class; a missing source (nullptr) empties
  // this one. A picture copies in through TPicture::AssignTo; anything else
  // raises the framework's assign error.
  void Assign(const TPersistent* Source) override;
  // A new graphic of the same class holding the same image.
  virtual std::unique_ptr<TGraphic> Clone() const = 0;

protected:
  // Takes a checked image and its dimensions.
  void SetImage(std::vector<std::uint8_t> AImage, int AWidth, int AHeight);
  // Reads Count more bytes onto the end of Buffer; a stream that delivers
  // fewer raises EInvalidGraphic(Msg).
  static void ReadMore(TStream& Stream, std::vector<std::uint8_t>& Buffer, std::int64_t Count,
                       const char* Msg);
  // Bytes between the stream's position and its end (0 if negative).
  static std::int64_t Remaining(TStream& Stream);
  // Called after a successful Assign so descendants can copy their extras.
  virtual void AssignExtras(const TGraphic&) {}

private:
  std::vector<std::uint8_t> Image; // the image file's bytes; empty: no image
  int Width = 0;                   // in pixels
  int Height = 0;                  // in pixels
};

// A Windows bitmap file: BITMAPFILEHEADER ("BM", file size, offset of the
// pixels) followed by a BITMAPINFOHEADER (or a core or later header), the
// colour table and the pixel rows. Loading reads the file size that the
// header states; it accepts 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed, run-length encoded or with bit-field masks, and checks that
// the colour table and the pixel rows lie inside the file.
class TBitmap : public TGraphic {
public:
  TBitmap() = default;
  // A blank 24-bit image of AWidth x AHeight (see SetSize).
  TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

  void LoadFromStream(TStream& Stream) override;
  std::unique_ptr<TGraphic> Clone() const override;

  // Replaces the image with a blank (all-zero, bottom-up, uncompressed)
  // 24-bit one of AWidth x AHeight pixels, rows padded to 4 bytes. A zero
  // dimension empties the bitmap; a negative one, or an image larger than a
  // stream can hold, raises EInvalidGraphic "Invalid image size".
  void SetSize(int AWidth, int AHeight);
  int GetBitCount() const { return GetEmpty() ? 0 : BitCount; } // bits per pixel

protected:
  void AssignExtras(const TGraphic& Source) override;

private:
  int BitCount = 0; // bits per pixel of the held image
};

// An enhanced metafile: a sequence of records starting with EMR_HEADER
// (type 1, signature " EMF" at offset 40, total size nBytes, record count,
// bounds and frame) and ending with EMR_EOF (type 14). Loading reads nBytes
// and walks every record, checking each size and that the last one is the
// end record. The dimensions are the frame (hundredths of a millimetre)
// converted to pixels at 96 dots per inch.
class TMetafile : public TGraphic {
public:
  TMetafile() = default;
  // A minimal metafile (header and end record) of AWidth x AHeight pixels.
  TMetafile(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

  void LoadFromStream(TStream& Stream) override;
  std::unique_ptr<TGraphic> Clone() const override;

  // Replaces the image with a minimal metafile that draws nothing and whose
  // frame is AWidth x AHeight pixels. Zero dimensions empty the metafile;
  // negative ones or more than 65535 raise EInvalidGraphic "Invalid image
  // size".
  void SetSize(int AWidth, int AHeight);
};

// An icon file: ICONDIR (reserved 0, type 1, image count), one ICONDIRENTRY
// per image (width, height, colours, planes, bits, byte count, offset) and the
// images themselves (device-independent bitmaps or PNG data). Loading reads
// to the end of the image that ends last. The dimensions are those of the
// first entry (0 in an entry stands for 256).
class TIcon : public TGraphic {
public:
  TIcon() = default;
  // A one-image icon of AWidth x AHeight pixels (see SetSize).
  TIcon(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

  void LoadFromStream(TStream& Stream) override;
  std::unique_ptr<TGraphic> Clone() const override;

  // Replaces the image with one transparent 32-bit image of AWidth x AHeight
  // pixels. Zero dimensions empty the icon; sizes outside 1 .. 256 raise
  // EInvalidGraphic "Invalid image size".
  void SetSize(int AWidth, int AHeight);
};

// Holds at most one graphic, owned. Asking for a kind of graphic that the
// picture does not hold replaces what it holds with a new, empty graphic of
// that kind. Files are read by their extension (.bmp, .emf, .ico; any letter
// case); an unknown extension raises EInvalidGraphic "Unknown picture file
// extension (.%s)". A failed load leaves the picture as it was.
class TPicture : public TPersistent {
public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TBitmap* GetBitmap();
  TMetafile* GetMetafile();
  TIcon* GetIcon();
  TGraphic* GetGraphic() const { return Graphic.get(); }
  // Holds a copy of Value (the caller keeps Value); nullptr empties the
  // picture.
  void SetGraphic(const TGraphic* Value);

  int GetWidth() const { return Graphic ? Graphic->GetWidth() : 0; }
  int GetHeight() const { return Graphic ? Graphic->GetHeight() : 0; }

  void LoadFromFile(const std::string& FileName);
  // Saves the held graphic in its own format whatever the extension; an
  // empty picture writes no file.
  void SaveToFile(const std::string& FileName) const;

  // From a picture or a graphic (copied); nullptr empties the picture.
  void Assign(const TPersistent* Source) override;

protected:
  // Copies the graphic into a graphic of the same class.
  void AssignTo(TPersistent* Dest) const override;

private:
  template <class G>
  G* Ensure();
  std::unique_ptr<TGraphic> Graphic; // the picture's graphic, or none
};

} // namespace ztl
