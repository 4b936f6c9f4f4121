// The help and shell-open seams with their desktop defaults.
#include "framework/widgets/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "framework/widgets/Controls.h"
#include "framework/widgets/Widgets_p.h"

#ifndef ZTL_HELP_BASE
#define ZTL_HELP_BASE ""
#endif

namespace ztl {

namespace {

THelpJumpHook& HelpHook() {
  static THelpJumpHook Hook;
  return Hook;
}

TShellOpenHook& ShellHook() {
  static TShellOpenHook Hook;
  return Hook;
}

std::string& HelpBase() {
  static std::string Base = ZTL_HELP_BASE;
  return Base;
}

} // namespace

THelpJumpHook SetHelpJumpHook(THelpJumpHook Hook) {
  THelpJumpHook Old = std::move(HelpHook());
  HelpHook() = std::move(Hook);
  return Old;
}

void SetHelpBase(const std::string& Base) {
  HelpBase() = Base;
}

const std::string& GetHelpBase() {
  return HelpBase();
}

void HelpJump(const std::string& Keyword) {
  if (HelpHook()) {
    HelpHook()(Keyword);
    return;
  }
  if (HelpBase().empty())
    return;
  UseWidgets();
  const QString Base = ToQString(HelpBase());
  QUrl Url = QFileInfo::exists(Base) ? QUrl::fromLocalFile(Base) : QUrl(Base);
  Url.setFragment(ToQString(Keyword).toLower());
  QDesktopServices::openUrl(Url);
}

TShellOpenHook SetShellOpenHook(TShellOpenHook Hook) {
  TShellOpenHook Old = std::move(ShellHook());
  ShellHook() = std::move(Hook);
  return Old;
}

void ShellOpen(const std::string& Target) {
  if (ShellHook()) {
    ShellHook()(Target);
    return;
  }
  UseWidgets();
  // The shell's answer is ignored, as the platform's callers ignore it.
  (void)QDesktopServices::openUrl(QUrl::fromUserInput(ToQString(Target)));
}

} // namespace ztl
