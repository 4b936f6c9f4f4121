// What a program asks of the desktop: the help system and the shell's "open"
// of a document, mail address or web address. Each is a seam with a default
// for this platform that a test can replace.
#pragma once

#include <functional>
#include <string>

namespace ztl {

// Opens the help on Keyword. The default opens the help base URL (see
// SetHelpBase) with the keyword as its fragment, through the desktop.
void HelpJump(const std::string& Keyword);
using THelpJumpHook = std::function<void(const std::string& Keyword)>;
// Installs Hook (empty: the default again) and returns the one it replaces.
THelpJumpHook SetHelpJumpHook(THelpJumpHook Hook);
// Where the default help lives: a URL or a local file path (initially the
// project's design-time documentation).
void SetHelpBase(const std::string& Base);
const std::string& GetHelpBase();

// Asks the desktop to open Target ("mailto:...", a web address, a file), as
// the platform's shell "open" verb. The default hands it to Qt's desktop
// services (a target without a scheme is read as a web address or file);
// whether it opened is not reported, as the shell's result is ignored.
void ShellOpen(const std::string& Target);
using TShellOpenHook = std::function<void(const std::string& Target)>;
TShellOpenHook SetShellOpenHook(TShellOpenHook Hook);

} // namespace ztl
