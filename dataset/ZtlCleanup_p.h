// Internal to the library; not part of its interface and may change.
// Cleanup that runs while an error is already on its way to the caller.
#pragma once

#include <utility>

#include "framework/rtl/Application.h"
#include "framework/rtl/System.h"

namespace ztl {

// Runs Release on the failure path of an operation (inside a catch block,
// before the error is raised again). The error already in flight is the one
// the caller must see, so a failure of Release is reported through the
// application's handler instead of replacing it or being lost.
template <class F>
void ZtlReleaseAfterFailure(TObject* Sender, F&& Release) noexcept {
  try {
    std::forward<F>(Release)();
  } catch (...) {
    Application().HandleException(Sender);
  }
}

} // namespace ztl
