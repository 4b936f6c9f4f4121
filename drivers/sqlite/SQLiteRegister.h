// Registration of the SQLite driver's classes for form files.
#pragma once

namespace ztl {

// Registers TZantrelSQLiteSession with its published connection properties
// (AutoCommit, BusyTimeout, Connected, CreateIfMissing, DatabaseName,
// KeepConnection, LibraryName, MaxStringSize, OemConvert, ReadOnly),
// TZantrelSQLiteSQL, and the dataset components TZantrelSQLiteQuery and
// TZantrelSQLiteStoredProc with the properties their bases publish, so that
// forms can create them by class name. Safe to call more than once.
void RegisterZantrelSQLiteClasses();

} // namespace ztl
