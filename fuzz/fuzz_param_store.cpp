// Fuzzes the reader of the parameters' stored format with arbitrary bytes.
//
// Whatever the input, reading must end either with a collection or with a
// framework exception (a read or conversion error); a crash, undefined
// behaviour, a leak, a hang or an exception of any other kind is a finding.
// A collection that was read is written again and the written bytes are read
// back, so the writer and the reader are exercised on every value the reader
// can produce.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dataset/ZtlParams.h"
#include "framework/classes/Streams.h"

namespace {

// Reads Bytes into Params; false when the reader refused them with a
// framework error.
bool Read(ztl::TZantrelParams& Params, const std::string& Bytes) {
  ztl::TStringStream Stream(Bytes);
  try {
    Params.ReadBinaryData(Stream);
    return true;
  } catch (const ztl::Exception&) {
    return false;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  ztl::TZantrelParams Params;
  if (!Read(Params, std::string(reinterpret_cast<const char*>(Data), Size)))
    return 0;

  ztl::TStringStream Out;
  try {
    Params.WriteBinaryData(Out);
  } catch (const ztl::Exception&) {
    return 0; // a value the reader accepted but whose buffer cannot be made
  }
  ztl::TZantrelParams Again;
  Read(Again, Out.GetDataString());
  return 0;
}
