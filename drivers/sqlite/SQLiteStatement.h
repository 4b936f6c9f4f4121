// An owned SQLite prepared statement that is finalized when its owner lets
// go of it.
#pragma once

#include <utility>

// As <sqlite3.h> declares them; the statement is only ever handled by pointer here.
struct sqlite3_stmt;

namespace ztl {

// Owns one sqlite3_stmt (or none). Moving hands the statement over; the
// destructor and Reset finalize it. A statement outliving the library (which
// only happens if a cursor is leaked past its session) is dropped without
// finalizing, since the entry point is gone with the library.
class TSQLiteStatement {
public:
  TSQLiteStatement() noexcept = default;
  explicit TSQLiteStatement(sqlite3_stmt* AStmt) noexcept : Stmt(AStmt) {}
  TSQLiteStatement(TSQLiteStatement&& Other) noexcept : Stmt(std::exchange(Other.Stmt, nullptr)) {}
  TSQLiteStatement& operator=(TSQLiteStatement&& Other) noexcept {
    if (this != &Other)
      Reset(std::exchange(Other.Stmt, nullptr));
    return *this;
  }
  TSQLiteStatement(const TSQLiteStatement&) = delete;
  TSQLiteStatement& operator=(const TSQLiteStatement&) = delete;
  ~TSQLiteStatement() { Reset(); }

  sqlite3_stmt* Get() const noexcept { return Stmt; }
  explicit operator bool() const noexcept { return Stmt != nullptr; }

  // Finalizes the held statement and takes AStmt instead (SQLiteApi.cpp).
  void Reset(sqlite3_stmt* AStmt = nullptr) noexcept;

private:
  sqlite3_stmt* Stmt = nullptr; // the statement, or null
};

} // namespace ztl
