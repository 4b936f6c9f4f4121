// The framework's plain notification event type.
#pragma once

#include <functional>

#include "framework/rtl/System.h"

namespace ztl {

// A handler that only learns who sent the notification. An empty function is
// an unassigned event.
using TNotifyEvent = std::function<void(TObject* Sender)>;

} // namespace ztl
