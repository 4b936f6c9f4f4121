// The SQLite driver's design package.
#include "drivers/sqlite/design/ZtlSQLiteDesign.h"

#include "design/ZtlProps.h"
#include "drivers/sqlite/SQLiteRegister.h"
#include "drivers/sqlite/ZtlSQLite.h"

namespace ztl {

void TZantrelSQLiteAboutEditor::Edit() {
  ShowZantrelAboutBox("SQLite");
}

const char* const ZtlSQLiteDesign::Description = "Zantrelix SQLite components";

const std::vector<std::string>& ZtlSQLiteDesign::RequiredPackages() {
  static const std::vector<std::string> Packages{"ZtlPack5"};
  return Packages;
}

const char* const ZtlSQLiteDesign::PalettePage = "Zantrelix SQLite";

const std::vector<std::string>& ZtlSQLiteDesign::PaletteComponents() {
  static const std::vector<std::string> Components{"TZantrelSQLiteSession", "TZantrelSQLiteQuery",
                                                   "TZantrelSQLiteStoredProc"};
  return Components;
}

void ZtlSQLiteDesign::Register() {
  RegisterZantrelSQLiteClasses();
  RegisterPropertyEditor(TypeInfo<std::string>(), ComponentClass<TZantrelSQLiteSession>(),
                         "DatabaseName", PropertyEditorClass<TZantrelDBFileProperty>());
  RegisterPropertyEditor(TypeInfo<std::string>(), ComponentClass<TZantrelSQLiteSession>(),
                         "LibraryName", PropertyEditorClass<TZantrelLibFileProperty>());
  RegisterComponentEditor(ComponentClass<TZantrelSQLiteSession>(),
                          ComponentEditorClass<TZantrelSQLiteAboutEditor>());
  RegisterComponentEditor(ComponentClass<TZantrelSQLiteQuery>(),
                          ComponentEditorClass<TZantrelSQLiteAboutEditor>());
  RegisterComponentEditor(ComponentClass<TZantrelSQLiteStoredProc>(),
                          ComponentEditorClass<TZantrelSQLiteAboutEditor>());
}

} // namespace ztl
