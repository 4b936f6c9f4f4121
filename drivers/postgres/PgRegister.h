// Registration of the PostgreSQL driver's classes for form files.
#pragma once

namespace ztl {

// Registers TZantrelPgSession with its published connection properties
// (AutoCommit, ConnectOptions, Connected, DatabaseName, KeepConnection,
// LibraryName, OemConvert, Password, Port, ServerName, UserName, and the
// read-only ConnectedHost, ConnectedPort and InRecovery, never stored),
// TZantrelPgSQL, and the dataset components TZantrelPgQuery and
// TZantrelPgStoredProc with the properties their bases publish, so that
// forms can create them by class name. Safe to call more than once.
void RegisterZantrelPgClasses();

} // namespace ztl
