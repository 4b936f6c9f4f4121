// The message-box shim: a replaceable sink for modal error and information
// boxes, so that a library without a user interface can still "show" them.
#pragma once

#include <functional>
#include <string>

namespace ztl {

enum TMsgBoxIcon { mbIconNone, mbIconError, mbIconWarning, mbIconInformation };

using TMessageBoxSink =
    std::function<void(const std::string& Caption, const std::string& Text, TMsgBoxIcon Icon)>;

// Shows a message box through the current sink. The default sink writes
// "caption: text" and a newline to standard error.
void MessageBox(const std::string& Caption, const std::string& Text, TMsgBoxIcon Icon);

// Installs Sink (an empty function restores the default) and returns the one
// it replaces, so a test can capture boxes and put the old sink back.
TMessageBoxSink SetMessageBoxSink(TMessageBoxSink Sink);

} // namespace ztl
