// ZtlSQLiteDesign: the SQLite driver's design package: its palette page and
// components as data, and the registration of its design-time editors.
#pragma once

#include <string>
#include <vector>

#include "design/ZtlAbout.h"

namespace ztl {

// The about entry of the driver's components: the box for SQLite.
class TZantrelSQLiteAboutEditor : public TZantrelAboutComponentEditor {
public:
  using TZantrelAboutComponentEditor::TZantrelAboutComponentEditor;
  void Edit() override;
};

namespace ZtlSQLiteDesign {

// The package's description as the designer's package list shows it, and
// the packages it needs loaded first.
extern const char* const Description;
const std::vector<std::string>& RequiredPackages();

// The palette page the designer puts the driver's components on.
extern const char* const PalettePage;
// The components on that page, by class name.
const std::vector<std::string>& PaletteComponents();

// Registers the driver's classes, the session's file properties (its DatabaseName with the database
// file editor and its LibraryName with the library file editor), and the about editor on each
// palette component. Safe to call more than once.
void Register();

} // namespace ZtlSQLiteDesign
} // namespace ztl
