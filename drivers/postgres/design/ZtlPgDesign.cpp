// The PostgreSQL driver's design package.
#include "drivers/postgres/design/ZtlPgDesign.h"

#include "design/ZtlProps.h"
#include "drivers/postgres/PgRegister.h"
#include "drivers/postgres/ZtlPostgres.h"

namespace ztl {

void TZantrelPgAboutEditor::Edit() {
  ShowZantrelAboutBox("PostgreSQL");
}

const char* const ZtlPgDesign::Description = "Zantrelix PostgreSQL components";

const std::vector<std::string>& ZtlPgDesign::RequiredPackages() {
  static const std::vector<std::string> Packages{"ZtlPack5"};
  return Packages;
}

const char* const ZtlPgDesign::PalettePage = "Zantrelix PostgreSQL";

const std::vector<std::string>& ZtlPgDesign::PaletteComponents() {
  static const std::vector<std::string> Components{"TZantrelPgSession", "TZantrelPgQuery",
                                                   "TZantrelPgStoredProc"};
  return Components;
}

void ZtlPgDesign::Register() {
  RegisterZantrelPgClasses();
  RegisterPropertyEditor(TypeInfo<std::string>(), ComponentClass<TZantrelPgSession>(),
                         "LibraryName", PropertyEditorClass<TZantrelLibFileProperty>());
  RegisterComponentEditor(ComponentClass<TZantrelPgSession>(),
                          ComponentEditorClass<TZantrelPgAboutEditor>());
  RegisterComponentEditor(ComponentClass<TZantrelPgQuery>(),
                          ComponentEditorClass<TZantrelPgAboutEditor>());
  RegisterComponentEditor(ComponentClass<TZantrelPgStoredProc>(),
                          ComponentEditorClass<TZantrelPgAboutEditor>());
}

} // namespace ztl
