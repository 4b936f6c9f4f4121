// Registration of the PostgreSQL driver's components and their published
// properties, for form files and the designer's inspector.
#include "drivers/postgres/PgRegister.h"

#include <string>

#include "drivers/postgres/ZtlPostgres.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

namespace {

// The query and the stored procedure publish what their bases publish.
void RegisterPgDatasets() {
  if (FindClassInfo(typeid(TZantrelPgQuery)))
    return;
  RegisterZantrelStoredProcClass(); // also the dataset and query bases
  RegisterClass<TZantrelPgQuery, TZantrelCustomDataset>();
  RegisterClass<TZantrelPgStoredProc, TZantrelCustomStoredProc>();
}

} // namespace

void RegisterZantrelPgClasses() {
  RegisterPgDatasets();
  if (FindClassInfo(typeid(TZantrelPgSession)))
    return;
  // The abstract bases take their place in the hierarchy unless another
  // driver registered them first; a later registration keeps this entry.
  if (!FindClassInfo(typeid(TZantrelSession)))
    RegisterClass<TZantrelSession, TComponent>();
  if (!FindClassInfo(typeid(TZantrelSQL))) {
    RegisterClass<TZantrelSQL, TComponent>();
    RegisterProperty<TZantrelSQL>("Session", &TZantrelSQL::GetSessionObject,
                                  &TZantrelSQL::SetSession);
  }

  using S = TZantrelPgSession;
  RegisterClass<S, TZantrelSession>();
  RegisterProperty<S>("AutoCommit", &S::GetAutoCommit, &S::SetAutoCommit, true);
  RegisterProperty<S>("ConnectOptions", &S::GetConnectOptions, &S::SetConnectOptions);
  RegisterProperty<S>("DatabaseName", &S::GetDatabaseName, &S::SetDatabaseName);
  RegisterProperty<S>("KeepConnection", &S::GetKeepConnection, &S::SetKeepConnection, true);
  RegisterProperty<S>("LibraryName", &S::GetLibraryName, &S::SetLibraryName,
                      std::string(S::DefaultLibraryName));
  RegisterProperty<S>("OemConvert", &S::GetOemConvert, &S::SetOemConvert, false);
  RegisterProperty<S>("Password", &S::GetPassword, &S::SetPassword);
  RegisterProperty<S>("Port", &S::GetPort, &S::SetPort, 0);
  RegisterProperty<S>("ServerName", &S::GetServerName, &S::SetServerName);
  RegisterProperty<S>("UserName", &S::GetUserName, &S::SetUserName);
  // Last, so that a form connects only once the properties above are in
  // place (it is applied when loading ends anyway).
  RegisterProperty<S>("Connected", &S::GetConnected, &S::SetConnected, false);

  RegisterClass<TZantrelPgSQL, TZantrelSQL>();
}

} // namespace ztl
