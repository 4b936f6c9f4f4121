// The filter translation and the file-open dialog over QFileDialog.
#include "framework/widgets/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "framework/rtl/SysUtils.h"
#include "framework/widgets/Controls.h"
#include "framework/widgets/Widgets_p.h"

namespace ztl {

namespace {

// Splits Text at Separator, keeping empty pieces.
std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> Pieces(1);
  for (char C : Text) {
    if (C == Separator)
      Pieces.emplace_back();
    else
      Pieces.back().push_back(C);
  }
  return Pieces;
}

std::string Trimmed(const std::string& S) {
  const auto First = S.find_first_not_of(' ');
  if (First == std::string::npos)
    return std::string();
  return S.substr(First, S.find_last_not_of(' ') - First + 1);
}

// Where a Windows pattern would hide files here, the patterns that mean the
// same on this platform.
std::vector<std::string> TranslatePattern(const std::string& Pattern) {
  const std::string Lower = LowerCase(Pattern);
  if (Lower == "*.*")
    return {"*"};
  if (Lower == "*.dll") {
#ifdef __APPLE__
    return {"*.dylib"};
#else
    return {"*.so", "*.so.*"};
#endif
  }
  return {Pattern};
}

TOpenDialogHook& OpenDialogHook() {
  static TOpenDialogHook Hook;
  return Hook;
}

} // namespace

std::vector<TFilterEntry> ParseFilter(const std::string& Filter) {
  std::vector<TFilterEntry> Entries;
  if (Filter.empty())
    return Entries;
  const std::vector<std::string> Pieces = Split(Filter, '|');
  for (std::size_t I = 0; I + 1 < Pieces.size(); I += 2) {
    TFilterEntry Entry{Pieces[I], {}};
    for (const std::string& Raw : Split(Pieces[I + 1], ';')) {
      const std::string Pattern = Trimmed(Raw);
      if (Pattern.empty())
        continue;
      for (std::string& P : TranslatePattern(Pattern))
        Entry.Patterns.push_back(std::move(P));
    }
    if (!Entry.Patterns.empty())
      Entries.push_back(std::move(Entry));
  }
  return Entries;
}

std::vector<std::string> QtNameFilters(const std::string& Filter) {
  std::vector<std::string> Result;
  for (const TFilterEntry& Entry : ParseFilter(Filter)) {
    // Qt reads the patterns from the text's last parentheses, so the
    // platform's own ones there would undo the translation.
    std::string Text = Trimmed(Entry.Text);
    const auto Open = Text.rfind('(');
    if (Open != std::string::npos && !Text.empty() && Text.back() == ')')
      Text = Trimmed(Text.substr(0, Open));
    std::string Patterns;
    for (const std::string& P : Entry.Patterns)
      Patterns += (Patterns.empty() ? "" : " ") + P;
    Result.push_back(Text.empty() ? Patterns : Text + " (" + Patterns + ")");
  }
  return Result;
}

TOpenDialogHook SetOpenDialogHook(TOpenDialogHook Hook) {
  TOpenDialogHook Old = std::move(OpenDialogHook());
  OpenDialogHook() = std::move(Hook);
  return Old;
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TOpenDialog::Execute() {
  if (OpenDialogHook())
    return OpenDialogHook()(*this);
  UseWidgets();
  QString Directory = ToQString(InitialDir);
  if (!FileName.empty())
    Directory = QFileInfo(ToQString(FileName)).absolutePath();
  QFileDialog Dialog(nullptr, ToQString(Title), Directory);
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setFileMode(Options.Contains(ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                     : Options.Contains(ofFileMustExist)  ? QFileDialog::ExistingFile
                                                          : QFileDialog::AnyFile);
  QStringList Filters;
  for (const std::string& F : QtNameFilters(Filter))
    Filters << ToQString(F);
  if (!Filters.isEmpty()) {
    Dialog.setNameFilters(Filters);
    if (FilterIndex >= 1 && FilterIndex <= Filters.size())
      Dialog.selectNameFilter(Filters[FilterIndex - 1]);
  }
  if (!FileName.empty())
    Dialog.selectFile(QFileInfo(ToQString(FileName)).fileName());
  for (;;) {
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
      return false;
    const QFileInfo Chosen(Dialog.selectedFiles().first());
    // Qt checks an existing file itself; a missing directory is ours to refuse.
    if (Options.Contains(ofPathMustExist) && !Chosen.absoluteDir().exists()) {
      QMessageBox::warning(&Dialog, Dialog.windowTitle(),
                           ToQString(Format("Path does not exist: %s",
                                            {FromQString(Chosen.absolutePath())})));
      continue;
    }
    FileName = FromQString(QDir::toNativeSeparators(Chosen.absoluteFilePath()));
    const int Index = static_cast<int>(Filters.indexOf(Dialog.selectedNameFilter()));
    if (Index >= 0)
      FilterIndex = Index + 1;
    return true;
  }
}

} // namespace ztl
