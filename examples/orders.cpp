// A small order book on SQLite: a session, statements with parameters, a
// query whose rows are edited and posted, and Locate. It checks what it
// reads back and exits with 1 on the first difference, so it doubles as the
// test of an installed library.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "drivers/sqlite/ZtlSQLite.h"

namespace {

int Failures = 0;

// Reports a value that is not what the program wrote.
void Expect(bool Holds, const std::string& What) {
  if (!Holds) {
    std::cerr << "orders: wrong " << What << '\n';
    ++Failures;
  }
}

void Run(const std::string& File) {
  ztl::TZantrelSQLiteSession Session;
  Session.SetDatabaseName(File);
  Session.Open();

  ztl::TZantrelSQLiteQuery Insert;
  Insert.SetSession(&Session);
  Insert.GetSQL()->SetText(
      "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer VARCHAR(40), total NUMERIC(10,2))");
  Insert.ExecSQL();
  Insert.GetSQL()->SetText("INSERT INTO orders VALUES (:id, :customer, :total)");
  const struct {
    int Id;
    const char* Customer;
    double Total;
  } Rows[] = {{1, "Baker", 120.5}, {2, "Smith", 80.0}, {3, "Smithers", 42.25}, {4, "Young", 300.0}};
  for (const auto& Row : Rows) {
    Insert.GetParams()->ParamByName("id")->SetAsInteger(Row.Id);
    Insert.GetParams()->ParamByName("customer")->SetAsString(Row.Customer);
    Insert.GetParams()->ParamByName("total")->SetAsFloat(Row.Total);
    Insert.ExecSQL();
  }

  // The orders above a threshold given as a parameter, editable.
  ztl::TZantrelSQLiteQuery Orders;
  Orders.SetSession(&Session);
  Orders.SetReadOnly(false);
  Orders.GetSQL()->SetText("SELECT id, customer, total FROM orders WHERE total > :least ORDER BY id");
  Orders.GetParams()->ParamByName("least")->SetAsFloat(50.0);
  Orders.Open();
  int Count = 0;
  for (; !Orders.Eof(); Orders.Next()) {
    std::cout << Orders.FieldByName("id")->GetAsInteger() << ' '
              << Orders.FieldByName("customer")->GetAsString() << ' '
              << Orders.FieldByName("total")->GetAsString() << '\n';
    ++Count;
  }
  Expect(Count == 3, "number of orders over 50");

  Expect(Orders.Locate("customer", "smith", {ztl::loCaseInsensitive}), "Locate of Smith");
  Expect(Orders.FieldByName("id")->GetAsInteger() == 2, "row found by Locate");
  Orders.Edit();
  Orders.FieldByName("customer")->SetAsString("Smith & Sons");
  Orders.Post();
  Expect(!Orders.Locate("customer", "nobody", {}), "Locate of a missing customer");

  // What was posted is in the file, read back through a fresh query.
  ztl::TZantrelSQLiteQuery Check;
  Check.SetSession(&Session);
  Check.GetSQL()->SetText("SELECT customer FROM orders WHERE id = :id");
  Check.GetParams()->ParamByName("id")->SetAsInteger(2);
  Check.Open();
  Expect(Check.FieldByName("customer")->GetAsString() == "Smith & Sons", "customer after Post");
}

} // namespace

int main(int argc, char** argv) {
  const std::string File =
      argc > 1 ? argv[1]
               : (std::filesystem::temp_directory_path() / "zantrelix-orders.db").string();
  std::filesystem::remove(File);
  try {
    Run(File);
  } catch (const std::exception& E) {
    std::cerr << "orders: " << E.what() << '\n';
    ++Failures;
  }
  std::filesystem::remove(File);
  return Failures == 0 ? 0 : 1;
}
