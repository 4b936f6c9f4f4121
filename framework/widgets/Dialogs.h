// The common dialogs (the file-open dialog over Qt's file dialog) and the
// translation of the platform's filter syntax.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/rtl/System.h"

namespace ztl {

enum TOpenOption : std::uint8_t {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,    // leave the process's current directory alone (Qt's dialog never changes it)
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,  // refuse a name whose directory does not exist
  ofFileMustExist   // refuse a file that does not exist
};
using TOpenOptions = Set<TOpenOption>;

// One entry of a filter: the text shown and the patterns it selects.
struct TFilterEntry {
  std::string Text;                  // "Databases (*.db)" as written
  std::vector<std::string> Patterns; // {"*.db"}, translated for this platform
};

// Splits a filter of the platform's syntax, "Text|patterns|Text|patterns"
// with patterns separated by ";", and translates each pattern for this
// platform: "*.*" selects every file ("*": names need no dot here) and
// "*.dll" selects shared libraries ("*.so", "*.so.*"). A text without its
// patterns is dropped; empty patterns are skipped.
std::vector<TFilterEntry> ParseFilter(const std::string& Filter);
// The same filter as Qt's name filters, one "Text (patterns)" each, the
// text's own parenthesised patterns replaced by the translated ones.
std::vector<std::string> QtNameFilters(const std::string& Filter);

class TOpenDialog;
// Runs an open dialog in place of Qt's (tests); returns whether the user
// confirmed, having set the dialog's FileName.
using TOpenDialogHook = std::function<bool(TOpenDialog& Dialog)>;
// Installs Hook (empty: Qt's dialog again) and returns the one it replaces.
TOpenDialogHook SetOpenDialogHook(TOpenDialogHook Hook);

// The file-open dialog. Execute shows it on FileName's directory with
// FileName chosen, and on confirmation sets FileName to the chosen file's
// full path and returns true; on cancel FileName is unchanged.
class TOpenDialog : public TComponent {
public:
  explicit TOpenDialog(TComponent* AOwner);

  const std::string& GetFileName() const { return FileName; }
  void SetFileName(const std::string& Value) { FileName = Value; }
  const std::string& GetFilter() const { return Filter; }
  void SetFilter(const std::string& Value) { Filter = Value; }
  int GetFilterIndex() const { return FilterIndex; } // 1 is the first entry
  void SetFilterIndex(int Value) { FilterIndex = Value; }
  TOpenOptions GetOptions() const { return Options; }
  void SetOptions(TOpenOptions Value) { Options = Value; }
  const std::string& GetTitle() const { return Title; }
  void SetTitle(const std::string& Value) { Title = Value; }
  const std::string& GetInitialDir() const { return InitialDir; }
  void SetInitialDir(const std::string& Value) { InitialDir = Value; }

  bool Execute();

private:
  std::string FileName;
  std::string Filter;
  int FilterIndex = 1;
  TOpenOptions Options{ofHideReadOnly};
  std::string Title;
  std::string InitialDir;
};

} // namespace ztl
