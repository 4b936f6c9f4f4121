// Registration of the PostgreSQL driver's components and their published
// properties, for form files and the designer's inspector.
#include "drivers/postgres/PgRegister.h"

#include <string>

#include "drivers/common/ZtlDriverRegister_p.h"
#include "drivers/postgres/ZtlPostgres.h"

namespace ztl {

void RegisterZantrelPgClasses() {
  using S = TZantrelPgSession;
  ZtlRegisterDriverClasses<S, TZantrelPgSQL, TZantrelPgQuery, TZantrelPgStoredProc>([] {
    RegisterProperty<S>("AutoCommit", &S::GetAutoCommit, &S::SetAutoCommit, true);
    RegisterProperty<S>("ClientEncoding", &S::GetClientEncoding, &S::SetClientEncoding);
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
    // What the connection reached: shown by the inspector, never stored.
    RegisterProperty<S>("ConnectedHost", &S::GetConnectedHost, nullptr).Streamed = false;
    RegisterProperty<S>("ConnectedPort", &S::GetConnectedPort, nullptr).Streamed = false;
    RegisterProperty<S>("InRecovery", &S::GetInRecovery, nullptr).Streamed = false;
  });
}

} // namespace ztl
