// Fuzzes the picture loaders (bitmap, enhanced metafile, icon) with arbitrary
// bytes; the first byte picks the format, the rest is the file.
//
// Loading must end either with the picture taken or with a framework
// exception; a crash, undefined behaviour, a leak, a hang or an exception of
// any other kind is a finding. A picture that loaded is saved and loaded
// again, and must come back with the same bytes and dimensions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "framework/classes/Streams.h"
#include "framework/graphics/Graphics.h"

namespace {

std::unique_ptr<ztl::TGraphic> NewGraphic(std::uint8_t Kind) {
  switch (Kind % 3) {
  case 0:
    return std::make_unique<ztl::TBitmap>();
  case 1:
    return std::make_unique<ztl::TMetafile>();
  default:
    return std::make_unique<ztl::TIcon>();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  const auto Graphic = NewGraphic(Data[0]);
  ztl::TStringStream In(std::string(reinterpret_cast<const char*>(Data + 1), Size - 1));
  try {
    Graphic->LoadFromStream(In);
  } catch (const ztl::Exception&) {
    return 0;
  }

  ztl::TStringStream Out;
  Graphic->SaveToStream(Out);
  const auto Again = NewGraphic(Data[0]);
  ztl::TStringStream Back(Out.GetDataString());
  try {
    Again->LoadFromStream(Back);
  } catch (const ztl::Exception&) {
    std::abort(); // what loaded once must load again
  }
  if (Again->GetImage() != Graphic->GetImage() || Again->GetWidth() != Graphic->GetWidth() ||
      Again->GetHeight() != Graphic->GetHeight())
    std::abort();
  return 0;
}
