// The message-box shim.
#include "framework/rtl/Dialogs.h"

#include <cstdio>

namespace ztl {

namespace {
TMessageBoxSink& CurrentSink() {
  static TMessageBoxSink Sink;
  return Sink;
}
} // namespace

void MessageBox(const std::string& Caption, const std::string& Text, TMsgBoxIcon Icon) {
  if (CurrentSink()) {
    CurrentSink()(Caption, Text, Icon);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
}

TMessageBoxSink SetMessageBoxSink(TMessageBoxSink Sink) {
  TMessageBoxSink Old = std::move(CurrentSink());
  CurrentSink() = std::move(Sink);
  return Old;
}

} // namespace ztl
