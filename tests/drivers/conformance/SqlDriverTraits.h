// What the traits classes of the drivers that run SQL share, written over
// the driver's own classes: cursors, queries and stored procedures on the
// test's session, tables made with the driver's type names, and the count of
// statements compiled.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/drivers/conformance/Conformance.h"

namespace ztl::conformance {

// Derived supplies NewSession (a session on the test's database, not open)
// and TypeName; the constructor opens the test's own session.
template <class Derived, class TSession, class TSQL, class TQuery, class TStoredProc>
class TSqlDriverTraits {
public:
  TZantrelSession& Session() { return *Own; }
  std::unique_ptr<TZantrelSQL> NewCursor(TZantrelSession& On) {
    auto C = std::make_unique<TSQL>();
    C->SetSession(&On);
    return C;
  }
  std::unique_ptr<TZantrelCustomDataset> NewQueryComponent(TComponent* Owner) {
    return std::make_unique<TQuery>(Owner);
  }
  std::unique_ptr<TZantrelCustomDataset> NewQuery(const std::string& SQL,
                                                  TZantrelSession* On = nullptr) {
    auto Q = NewQueryComponent(nullptr);
    Q->SetSession(On ? On : Own.get());
    Q->GetSQL()->SetText(SQL);
    return Q;
  }
  std::unique_ptr<TZantrelDataset> NewStoredProc(const std::string& Proc,
                                                 TComponent* Owner = nullptr) {
    auto P = std::make_unique<TStoredProc>(Owner);
    P->SetSession(Own.get());
    P->SetProcName(Proc);
    return P;
  }
  void CreateTable(const std::string& Table, const std::vector<TColumn>& Columns,
                   const std::vector<std::vector<Variant>>& Rows, bool Keyed = true) {
    auto C = NewCursor(*Own);
    CreateSqlTable(*Own, *C, &Derived::TypeName, Table, Columns, Rows, Keyed);
  }
  std::int64_t Prepares() { return static_cast<TSession&>(*Own).GetStatistics().Prepares; }

protected:
  // Opens the test's own session.
  void Connect() {
    Own = static_cast<Derived*>(this)->NewSession();
    Own->Open();
  }

  std::unique_ptr<TZantrelSession> Own; // the test's connection
};

} // namespace ztl::conformance
