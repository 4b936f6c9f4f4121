// Registration of the SQLite driver's components and their published
// properties, for form files and the designer's inspector.
#include "drivers/sqlite/SQLiteRegister.h"

#include "drivers/sqlite/ZtlSQLite.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

namespace {

// The query and the stored procedure publish what their bases publish.
void RegisterSQLiteDatasets() {
  if (FindClassInfo(typeid(TZantrelSQLiteQuery)))
    return;
  RegisterZantrelStoredProcClass(); // also the dataset and query bases
  RegisterClass<TZantrelSQLiteQuery, TZantrelCustomDataset>();
  RegisterClass<TZantrelSQLiteStoredProc, TZantrelCustomStoredProc>();
}

} // namespace

void RegisterZantrelSQLiteClasses() {
  RegisterSQLiteDatasets();
  if (FindClassInfo(typeid(TZantrelSQLiteSession)))
    return;
  // The abstract bases are registered here when nobody did before, so that
  // the driver's classes have their place in the hierarchy; registering a
  // class again later keeps this entry.
  if (!FindClassInfo(typeid(TZantrelSession)))
    RegisterClass<TZantrelSession, TComponent>();
  if (!FindClassInfo(typeid(TZantrelSQL))) {
    RegisterClass<TZantrelSQL, TComponent>();
    RegisterProperty<TZantrelSQL>("Session", &TZantrelSQL::GetSessionObject,
                                  &TZantrelSQL::SetSession);
  }

  using S = TZantrelSQLiteSession;
  RegisterClass<S, TZantrelSession>();
  RegisterProperty<S>("AutoCommit", &S::GetAutoCommit, &S::SetAutoCommit, true);
  RegisterProperty<S>("BusyTimeout", &S::GetBusyTimeout, &S::SetBusyTimeout, 5000);
  RegisterProperty<S>("CreateIfMissing", &S::GetCreateIfMissing, &S::SetCreateIfMissing, true);
  RegisterProperty<S>("DatabaseName", &S::GetDatabaseName, &S::SetDatabaseName);
  RegisterProperty<S>("KeepConnection", &S::GetKeepConnection, &S::SetKeepConnection, true);
  RegisterProperty<S>("LibraryName", &S::GetLibraryName, &S::SetLibraryName,
                      std::string(S::DefaultLibraryName));
  RegisterProperty<S>("MaxStringSize", &S::GetMaxStringSize, &S::SetMaxStringSize, 0);
  RegisterProperty<S>("OemConvert", &S::GetOemConvert, &S::SetOemConvert, false);
  RegisterProperty<S>("ReadOnly", &S::GetReadOnly, &S::SetReadOnly, false);
  // Last, so that a form opens the connection only after the properties
  // above are in place (it is applied when loading ends anyway).
  RegisterProperty<S>("Connected", &S::GetConnected, &S::SetConnected, false);

  RegisterClass<TZantrelSQLiteSQL, TZantrelSQL>();
}

} // namespace ztl
