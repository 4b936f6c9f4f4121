// Registration of the SQLite driver's components and their published
// properties, for form files and the designer's inspector.
#include "drivers/sqlite/SQLiteRegister.h"

#include "drivers/common/ZtlDriverRegister_p.h"
#include "drivers/sqlite/ZtlSQLite.h"

namespace ztl {

void RegisterZantrelSQLiteClasses() {
  using S = TZantrelSQLiteSession;
  ZtlRegisterDriverClasses<S, TZantrelSQLiteSQL, TZantrelSQLiteQuery, TZantrelSQLiteStoredProc>([] {
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
  });
}

} // namespace ztl
