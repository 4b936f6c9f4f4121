// Where the ztl program's statements go: the session made for a --db text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog/ZtlApp.h"
#include "drivers/common/ZtlDriverSQL.h"
#include "framework/forms/DataModule.h"
#include "tools/ztl/ConnectionText.h"
#include "tools/ztl/Statements.h"

namespace ztl {
class TZantrelCustomStoredProc;
}

namespace ztl::cli {

// A connected session of the right driver, owned by a data module so that
// the catalog routines find it by its database name.
class TConnection {
public:
  // Loads the driver's client library (Library, or the driver's default
  // when empty) and connects. Raises with the driver's message when the
  // library is missing or the database cannot be reached.
  TConnection(const TConnectionTarget& Target, const std::string& Library);
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  TZantrelSession& GetSession() const { return *Session; }
  bool IsPostgres() const { return Postgres; }
  // The name the catalog routines find the session by.
  const std::string& GetDatabaseName() const;
  // A new cursor on the session.
  std::unique_ptr<TZtlDriverSQL> NewCursor() const;
  // The markers of Cursor's prepared statement by position, as the driver
  // reads them (":name", "@name", "$name", "?NNN"; "" for a plain "?").
  std::vector<std::string> ParamNames(const TZtlDriverSQL& Cursor) const;
  // The driver's query class, for the catalog routines.
  TZantrelDatasetClass QueryClass() const;
  // A new stored-procedure component on the session, owned by the module.
  TZantrelCustomStoredProc* NewStoredProc();
  // Where the driver's statements end in a stream of text.
  const TStatementDialect& Dialect() const;

private:
  TDataModule Module{nullptr};        // owns the session and the components on it
  TZantrelSession* Session = nullptr; // the connection, owned by Module
  bool Postgres = false;              // Session is a PostgreSQL session
};

} // namespace ztl::cli
