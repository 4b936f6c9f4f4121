// Tests of the pictures: each format's layout, byte-exact save and load,
// rejection of corrupt or truncated data with the graphic unchanged, and the
// picture's handling of kinds, files and assignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/graphics/Graphics.h"
#include "framework/classes/Streams.h"

using namespace ztl;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Saved(const TGraphic& G) {
  TMemoryStream M;
  G.SaveToStream(M);
  const auto* P = static_cast<const std::uint8_t*>(M.Memory());
  return Bytes(P, P + M.GetSize());
}

std::uint32_t Get32(const Bytes& B, std::size_t Off) {
  return B[Off] | (B[Off + 1] << 8) | (B[Off + 2] << 16) |
         (static_cast<std::uint32_t>(B[Off + 3]) << 24);
}

void Set32(Bytes& B, std::size_t Off, std::uint32_t V) {
  for (int I = 0; I < 4; ++I)
    B[Off + static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V >> (8 * I));
}

void Load(TGraphic& G, const Bytes& B) {
  TMemoryStream M;
  if (!B.empty())
    M.WriteBuffer(B.data(), static_cast<std::int32_t>(B.size()));
  M.SetPosition(0);
  G.LoadFromStream(M);
}

// One format under test: how to make a valid sample, a fresh graphic, and
// the error text of the format.
struct FormatCase {
  const char* Name;
  std::function<std::unique_ptr<TGraphic>()> Sample;
  std::function<std::unique_ptr<TGraphic>()> Fresh;
  std::function<std::unique_ptr<TGraphic>()> Other; // a valid image unlike Sample
  const char* Invalid;
  int Width;
  int Height;
};

const FormatCase Formats[] = {
    {"bitmap", [] { return std::make_unique<TBitmap>(5, 3); },
     [] { return std::make_unique<TBitmap>(); }, [] { return std::make_unique<TBitmap>(2, 2); },
     "Bitmap image is not valid", 5, 3},
    {"metafile", [] { return std::make_unique<TMetafile>(640, 480); },
     [] { return std::make_unique<TMetafile>(); }, [] { return std::make_unique<TMetafile>(3, 1); },
     "Metafile is not valid", 640, 480},
    {"icon", [] { return std::make_unique<TIcon>(16, 32); },
     [] { return std::make_unique<TIcon>(); }, [] { return std::make_unique<TIcon>(1, 2); },
     "Icon image is not valid", 16, 32},
};

// A way of damaging a valid image.
struct Damage {
  const char* Name;
  std::function<void(Bytes&)> Apply;
};

} // namespace

TEST(BitmapLayout, BlankBitmapHasFileAndInfoHeaderAndPaddedRows) {
  const Bytes B = Saved(TBitmap(5, 3));
  const std::uint32_t Row = 16; // 5 pixels * 3 bytes = 15, padded to 16
  ASSERT_EQ(B.size(), 54 + Row * 3);
  EXPECT_EQ(B[0], 'B');
  EXPECT_EQ(B[1], 'M');
  EXPECT_EQ(Get32(B, 2), B.size());
  EXPECT_EQ(Get32(B, 10), 54u);
  EXPECT_EQ(Get32(B, 14), 40u);
  EXPECT_EQ(Get32(B, 18), 5u);
  EXPECT_EQ(Get32(B, 22), 3u);
  EXPECT_EQ(B[26] | (B[27] << 8), 1);  // planes
  EXPECT_EQ(B[28] | (B[29] << 8), 24); // bits
  EXPECT_EQ(Get32(B, 34), Row * 3);
  EXPECT_TRUE(std::all_of(B.begin() + 54, B.end(), [](std::uint8_t V) { return V == 0; }));
}

TEST(MetafileLayout, MinimalMetafileIsHeaderAndEndRecord) {
  const Bytes B = Saved(TMetafile(100, 50));
  ASSERT_EQ(B.size(), 108u);
  EXPECT_EQ(Get32(B, 0), 1u);           // EMR_HEADER
  EXPECT_EQ(Get32(B, 40), 0x464D4520u); // " EMF"
  EXPECT_EQ(Get32(B, 48), 108u);        // nBytes
  EXPECT_EQ(Get32(B, 52), 2u);          // nRecords
  EXPECT_EQ(Get32(B, 88), 14u);         // EMR_EOF
  EXPECT_EQ(Get32(B, 32), 2646u);       // 100 px at 96 dpi in 0.01 mm
}

TEST(IconLayout, OneImageDirectoryPointsAtItsDib) {
  const Bytes B = Saved(TIcon(256, 8));
  EXPECT_EQ(B[2], 1); // type icon
  EXPECT_EQ(B[4], 1); // count
  EXPECT_EQ(B[6], 0); // 256 written as 0
  EXPECT_EQ(B[7], 8);
  EXPECT_EQ(Get32(B, 18), 22u);           // image offset
  EXPECT_EQ(Get32(B, 14) + 22, B.size()); // image bytes reach the end
  EXPECT_EQ(Get32(B, 22), 40u);           // BITMAPINFOHEADER
  EXPECT_EQ(Get32(B, 30), 16u);           // height counts colour and mask
  TIcon Back;
  Load(Back, B);
  EXPECT_EQ(Back.GetWidth(), 256);
}

TEST(GraphicFormats, SaveThenLoadGivesSameBytesAndSize) {
  for (const FormatCase& F : Formats) {
    const std::unique_ptr<TGraphic> Sample = F.Sample();
    EXPECT_EQ(Sample->GetWidth(), F.Width) << F.Name;
    EXPECT_EQ(Sample->GetHeight(), F.Height) << F.Name;
    const Bytes Original = Saved(*Sample);

    // Loading stops where the format says, leaving what follows.
    Bytes WithTail = Original;
    WithTail.insert(WithTail.end(), {'t', 'a', 'i', 'l'});
    TMemoryStream M;
    M.WriteBuffer(WithTail.data(), static_cast<std::int32_t>(WithTail.size()));
    M.SetPosition(0);
    const std::unique_ptr<TGraphic> Back = F.Fresh();
    Back->LoadFromStream(M);
    EXPECT_EQ(M.GetPosition(), static_cast<std::int64_t>(Original.size())) << F.Name;
    EXPECT_EQ(Saved(*Back), Original) << F.Name;
    EXPECT_EQ(Back->GetWidth(), F.Width) << F.Name;
    EXPECT_EQ(Back->GetHeight(), F.Height) << F.Name;

    // An empty stream empties the graphic, and an empty graphic saves nothing.
    Load(*Back, {});
    EXPECT_TRUE(Back->GetEmpty()) << F.Name;
    EXPECT_TRUE(Saved(*Back).empty()) << F.Name;
  }
}

TEST(GraphicFormats, CorruptDataIsRejectedAndGraphicUnchanged) {
  const Damage Common[] = {
      {"truncated to 5 bytes", [](Bytes& B) { B.resize(5); }},
      {"last byte missing", [](Bytes& B) { B.pop_back(); }},
      {"first byte wrong", [](Bytes& B) { B[0] ^= 0xFF; }},
  };
  const std::vector<Damage> PerFormat[] = {
      {
          {"file size beyond stream", [](Bytes& B) { Set32(B, 2, 0xFFFFFFF0); }},
          {"file size too small", [](Bytes& B) { Set32(B, 2, 20); }},
          {"pixel offset past end",
           [](Bytes& B) { Set32(B, 10, static_cast<std::uint32_t>(B.size() + 1)); }},
          {"pixel offset inside header", [](Bytes& B) { Set32(B, 10, 20); }},
          {"unknown header size", [](Bytes& B) { Set32(B, 14, 41); }},
          {"huge height", [](Bytes& B) { Set32(B, 22, 0x7FFFFFFF); }},
          {"zero width", [](Bytes& B) { Set32(B, 18, 0); }},
          {"two planes", [](Bytes& B) { B[26] = 2; }},
          {"bit count 7", [](Bytes& B) { B[28] = 7; }},
          {"run-length coding at 24 bits", [](Bytes& B) { Set32(B, 30, 1); }},
          {"palette larger than bit count allows",
           [](Bytes& B) {
             B[28] = 8;
             Set32(B, 46, 257);
           }},
      },
      {
          {"signature wrong", [](Bytes& B) { B[40] = 'X'; }},
          {"nBytes beyond stream", [](Bytes& B) { Set32(B, 48, 0x7FFFFFF0); }},
          {"nBytes smaller than records", [](Bytes& B) { Set32(B, 48, 96); }},
          {"header size zero", [](Bytes& B) { Set32(B, 4, 0); }},
          {"end record missing", [](Bytes& B) { Set32(B, 88, 70); }},
          {"end record size overruns", [](Bytes& B) { Set32(B, 92, 400); }},
          {"end record size zero", [](Bytes& B) { Set32(B, 92, 0); }},
          {"record count wrong", [](Bytes& B) { Set32(B, 52, 3); }},
          {"description outside header",
           [](Bytes& B) {
             Set32(B, 60, 1000);
             Set32(B, 64, 88);
           }},
          {"negative frame", [](Bytes& B) { Set32(B, 32, static_cast<std::uint32_t>(-5)); }},
      },
      {
          {"type cursor", [](Bytes& B) { B[2] = 2; }},
          {"no images", [](Bytes& B) { B[4] = 0; }},
          {"count beyond stream",
           [](Bytes& B) {
             B[4] = 0xFF;
             B[5] = 0xFF;
           }},
          {"image past end", [](Bytes& B) { Set32(B, 14, Get32(B, 14) + 1); }},
          {"image size huge", [](Bytes& B) { Set32(B, 14, 0xFFFFFFFF); }},
          {"offset huge", [](Bytes& B) { Set32(B, 18, 0xFFFFFFF0); }},
          {"offset inside directory", [](Bytes& B) { Set32(B, 18, 10); }},
          {"image is neither bitmap nor png", [](Bytes& B) { Set32(B, 22, 12); }},
      },
  };
  for (std::size_t I = 0; I < std::size(Formats); ++I) {
    const FormatCase& F = Formats[I];
    std::vector<Damage> All(std::begin(Common), std::end(Common));
    All.insert(All.end(), PerFormat[I].begin(), PerFormat[I].end());
    for (const Damage& D : All) {
      Bytes B = Saved(*F.Sample());
      D.Apply(B);
      // The target holds a different image that must survive the failure.
      const std::unique_ptr<TGraphic> Target = F.Other();
      const Bytes Before = Saved(*Target);
      const int W = Target->GetWidth();
      try {
        Load(*Target, B);
        ADD_FAILURE() << F.Name << ": " << D.Name << " accepted";
      } catch (const EInvalidGraphic& E) {
        EXPECT_STREQ(E.what(), F.Invalid) << F.Name << ": " << D.Name;
      }
      EXPECT_EQ(Saved(*Target), Before) << F.Name << ": " << D.Name;
      EXPECT_EQ(Target->GetWidth(), W) << F.Name << ": " << D.Name;
    }
  }
}

TEST(BitmapLoad, AcceptsOtherValidLayouts) {
  // An 8-bit top-down bitmap with a 2-colour table, 3 x 2 pixels.
  Bytes B(14 + 40 + 8 + 8, 0);
  B[0] = 'B';
  B[1] = 'M';
  Set32(B, 2, static_cast<std::uint32_t>(B.size()));
  Set32(B, 10, 62);
  Set32(B, 14, 40);
  Set32(B, 18, 3);
  Set32(B, 22, static_cast<std::uint32_t>(-2));
  B[26] = 1;
  B[28] = 8;
  Set32(B, 46, 2);
  TBitmap Bmp;
  Load(Bmp, B);
  EXPECT_EQ(Bmp.GetWidth(), 3);
  EXPECT_EQ(Bmp.GetHeight(), 2);
  EXPECT_EQ(Bmp.GetBitCount(), 8);
  EXPECT_EQ(Saved(Bmp), B);
}

TEST(GraphicSize, InvalidDimensionsRaise) {
  EXPECT_THROW(TBitmap(-1, 1), EInvalidGraphic);
  EXPECT_THROW(TBitmap(0x7FFFFFFF, 0x7FFFFFFF), EInvalidGraphic);
  EXPECT_THROW(TIcon(257, 1), EInvalidGraphic);
  EXPECT_THROW(TMetafile(1, 70000), EInvalidGraphic);
  EXPECT_TRUE(TBitmap(0, 10).GetEmpty());
}

TEST(GraphicAssign, SameClassCopiesOtherClassRaises) {
  TBitmap A(4, 4);
  TBitmap B;
  B.Assign(&A);
  EXPECT_EQ(Saved(B), Saved(A));
  EXPECT_EQ(B.GetBitCount(), 24);
  B.Assign(nullptr);
  EXPECT_TRUE(B.GetEmpty());

  TIcon Icon(8, 8);
  try {
    B.Assign(&Icon);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TIcon to a TBitmap");
  }
}

TEST(Picture, KindsReplaceEachOtherAndAssignCopies) {
  TPicture P;
  EXPECT_EQ(P.GetGraphic(), nullptr);
  EXPECT_EQ(P.GetWidth(), 0);
  P.GetBitmap()->SetSize(7, 9);
  EXPECT_EQ(P.GetBitmap(), P.GetGraphic()) << "asking again keeps the bitmap";
  EXPECT_EQ(P.GetHeight(), 9);
  TIcon* Icon = P.GetIcon();
  EXPECT_TRUE(Icon->GetEmpty());
  EXPECT_EQ(P.GetGraphic(), Icon);

  TMetafile Meta(20, 10);
  P.SetGraphic(&Meta);
  EXPECT_NE(P.GetGraphic(), &Meta) << "the picture holds a copy";
  EXPECT_EQ(Saved(*P.GetGraphic()), Saved(Meta));
  P.SetGraphic(P.GetGraphic());
  EXPECT_EQ(P.GetWidth(), 20);

  TPicture Q;
  Q.Assign(&P);
  EXPECT_EQ(Saved(*Q.GetMetafile()), Saved(Meta));
  TMetafile Out;
  Out.Assign(&Q);
  EXPECT_EQ(Saved(Out), Saved(Meta));
  TBitmap Wrong;
  EXPECT_THROW(Wrong.Assign(&Q), EConvertError);
  Q.Assign(nullptr);
  EXPECT_EQ(Q.GetGraphic(), nullptr);
}

TEST(Picture, FilesByExtension) {
  const std::string Dir = testing::TempDir();
  const struct {
    const char* Name;
    std::function<std::unique_ptr<TGraphic>()> Make;
  } Files[] = {
      {"ztl_pic.bmp", [] { return std::make_unique<TBitmap>(3, 3); }},
      {"ztl_pic.EMF", [] { return std::make_unique<TMetafile>(30, 30); }},
      {"ztl_pic.ico", [] { return std::make_unique<TIcon>(32, 32); }},
  };
  for (const auto& F : Files) {
    const std::string Path = Dir + F.Name;
    const std::unique_ptr<TGraphic> G = F.Make();
    TPicture Out;
    Out.SetGraphic(G.get());
    Out.SaveToFile(Path);
    TPicture In;
    In.LoadFromFile(Path);
    ASSERT_NE(In.GetGraphic(), nullptr) << F.Name;
    EXPECT_EQ(In.GetGraphic()->ClassName(), G->ClassName()) << F.Name;
    EXPECT_EQ(Saved(*In.GetGraphic()), Saved(*G)) << F.Name;
    std::remove(Path.c_str());
  }

  TPicture P;
  P.GetBitmap()->SetSize(1, 1);
  const Bytes Before = Saved(*P.GetGraphic());
  try {
    P.LoadFromFile(Dir + "ztl_pic.gif");
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& E) {
    EXPECT_STREQ(E.what(), "Unknown picture file extension (.gif)");
  }
  EXPECT_THROW(P.LoadFromFile(Dir + "ztl_missing.ico"), EFOpenError);
  // A file with the right extension but foreign content.
  const std::string Fake = Dir + "ztl_fake.bmp";
  {
    TFileStream S(Fake, fmCreate);
    S.WriteString("GIF89a not a bitmap at all");
  }
  EXPECT_THROW(P.LoadFromFile(Fake), EInvalidGraphic);
  std::remove(Fake.c_str());
  EXPECT_EQ(Saved(*P.GetGraphic()), Before) << "failed loads leave the picture";
}
