// Fuzzes the form-file reader: any input must end in a component tree or a
// framework read error, never a crash, a hang or runaway memory. A form that
// reads must also write, read and write again to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/db/DBRegister.h"
#include "tests/framework/MemDataSet.h"
#include "tests/framework/test_streaming_classes.h"

namespace {

// A dataset a form can create, so that persistent fields, lookups and data
// sources are reached; it is never opened.
class TFuzzDataSet : public ztl::test::TMemDataSet {
public:
  explicit TFuzzDataSet(ztl::TComponent* AOwner) : TMemDataSet(AOwner) {}
};

void RegisterFuzzClasses() {
  ztl::RegisterTestClasses();
  ztl::RegisterDBClasses();
  ztl::RegisterClass<TFuzzDataSet, ztl::TDataSet>();
  ztl::RegisterDataSetEvents<TFuzzDataSet>();
  // Handlers bound while reading: a name that finds code, one of the wrong type.
  ztl::TEventHandlers Handlers;
  Handlers.Add<ztl::TDataSetNotifyEvent>("DataAfterOpen", [](ztl::TDataSet*) {});
  Handlers.Add<ztl::TNotifyEvent>("Plain", [](ztl::TObject*) {});
  ztl::RegisterEventHandlers("TDataModule", Handlers);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Registered = (RegisterFuzzClasses(), true);
  (void)Registered;
  ztl::LoadedLog().clear();
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  ztl::TDataModule Module(nullptr);
  try {
    ztl::StringToComponent(Text, &Module);
  } catch (const ztl::EReadError& E) {
    // Every rejection says where it happened.
    if (E.GetMessage().find(" on line ") == std::string::npos) {
      std::fprintf(stderr, "read error without a line: %s\n", E.what());
      std::abort();
    }
    return 0;
  }
  std::string First;
  try {
    First = ztl::ComponentToString(&Module);
  } catch (const ztl::EWriteError&) {
    return 0; // a value the text cannot carry (a reference to an unnamed component)
  }
  ztl::TDataModule Again(nullptr);
  ztl::StringToComponent(First, &Again);
  if (ztl::ComponentToString(&Again) != First) {
    std::fprintf(stderr, "second save differs from the first:\n%s\n", First.c_str());
    std::abort();
  }
  return 0;
}
