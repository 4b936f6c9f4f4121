// The ztl program's demo database: a small shop with customers, products,
// orders and order lines.
#include "tools/ztl/DemoDatabase.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "drivers/sqlite/SQLiteRegister.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "framework/db/DataSource.h"
#include "framework/forms/DataModule.h"

namespace ztl::cli {

namespace {

// The schema and rows, run as one script inside one transaction.
constexpr const char* DemoScript = R"SQL(
CREATE TABLE customers (
  id      INTEGER PRIMARY KEY,
  name    VARCHAR(40) NOT NULL,
  city    VARCHAR(30),
  email   VARCHAR(60),
  since   DATE
);
CREATE TABLE products (
  id          INTEGER PRIMARY KEY,
  name        VARCHAR(40) NOT NULL,
  price       NUMERIC(10,2) NOT NULL,
  description TEXT,
  picture     BLOB
);
CREATE TABLE orders (
  id          INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers(id),
  ordered     DATETIME NOT NULL,
  total       NUMERIC(10,2) NOT NULL,
  shipped     BOOLEAN NOT NULL DEFAULT 0
);
CREATE TABLE order_lines (
  order_id    INTEGER NOT NULL REFERENCES orders(id),
  line_no     INTEGER NOT NULL,
  product_id  INTEGER NOT NULL REFERENCES products(id),
  qty         INTEGER NOT NULL,
  price       NUMERIC(10,2) NOT NULL,
  PRIMARY KEY (order_id, line_no)
);
INSERT INTO customers VALUES
  (1, 'Ada Lindqvist',   'Uppsala', 'ada@example.org',    '2019-03-14'),
  (2, 'Bruno Ferreira',  'Porto',   'bruno@example.org',  '2020-07-01'),
  (3, 'Chiara Bianchi',  'Bologna', NULL,                 '2021-01-20'),
  (4, 'Dmitri Volkov',   'Tartu',   'dmitri@example.org', '2022-11-05'),
  (5, 'Eun-ji Park',     NULL,      'eunji@example.org',  '2023-05-30');
INSERT INTO products VALUES
  (1, 'Teapot',         24.90, 'Cast iron, 0.8 litres.', X'89504E470D0A1A0A'),
  (2, 'Tea cups (2)',   12.50, 'Porcelain, hand painted.', NULL),
  (3, 'Green tea 100g',  7.95, 'Sencha from Shizuoka.', NULL),
  (4, 'Kettle',         39.00, NULL, X'89504E470D0A1A0A0000000D49484452'),
  (5, 'Tea towel',       5.00, 'Linen.', NULL);
INSERT INTO orders VALUES
  (1, 1, '2024-01-05 10:15:00', 37.40, 1),
  (2, 2, '2024-01-06 16:42:30', 39.00, 1),
  (3, 1, '2024-02-11 09:05:12', 15.90, 1),
  (4, 3, '2024-02-29 18:00:00', 68.90, 0),
  (5, 4, '2024-03-02 12:30:45',  7.95, 0),
  (6, 2, '2024-03-03 08:01:00', 17.50, 0);
INSERT INTO order_lines VALUES
  (1, 1, 1, 1, 24.90), (1, 2, 2, 1, 12.50),
  (2, 1, 4, 1, 39.00),
  (3, 1, 3, 2,  7.95),
  (4, 1, 1, 1, 24.90), (4, 2, 4, 1, 39.00), (4, 3, 5, 1,  5.00),
  (5, 1, 3, 1,  7.95),
  (6, 1, 2, 1, 12.50), (6, 2, 5, 1,  5.00);
)SQL";

} // namespace

std::string DemoDatabasePath() {
  const char* Data = std::getenv("XDG_DATA_HOME");
  if (Data && Data[0] == '/')
    return (std::filesystem::path(Data) / "ztl" / "demo.db").string();
  const char* Home = std::getenv("HOME");
  if (Home && Home[0])
    return (std::filesystem::path(Home) / ".local" / "share" / "ztl" / "demo.db").string();
  return {};
}

void EnsureDemoDatabase(const std::string& Path) {
  std::error_code Ec;
  if (std::filesystem::exists(Path, Ec))
    return;
  const std::filesystem::path Dir = std::filesystem::path(Path).parent_path();
  std::filesystem::create_directories(Dir, Ec);
  if (Ec)
    throw Exception("Cannot create the directory " + Dir.string() + ": " + Ec.message());
  // Made under a temporary name and renamed when complete, so that an
  // interrupted first run never leaves a half-filled demo database.
  const std::string Temp = Path + ".new";
  std::filesystem::remove(Temp, Ec);
  {
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(Temp);
    Session.Open();
    Session.StartTransaction();
    if (!Session.Execute(DemoScript)) {
      const std::string Msg = Session.GetLastError();
      Session.Close();
      std::filesystem::remove(Temp, Ec);
      throw Exception("Cannot create the demo database: " + Msg);
    }
    Session.Commit();
  }
  std::filesystem::rename(Temp, Path, Ec);
  if (Ec) {
    std::filesystem::remove(Temp, Ec);
    throw Exception("Cannot create the demo database " + Path + ": " + Ec.message());
  }
}

std::string EnsureDemoForm(const std::string& DatabasePath) {
  const std::string FormPath =
      (std::filesystem::path(DatabasePath).parent_path() / "demo.dfm").string();
  std::error_code Ec;
  if (std::filesystem::exists(FormPath, Ec))
    return FormPath;
  RegisterDataModuleClass();
  RegisterZantrelSQLiteClasses();
  TDataModule Module(nullptr);
  Module.SetName("ShopModule");
  Module.SetWidth(360);
  Module.SetHeight(240);
  auto* Session = new TZantrelSQLiteSession(&Module);
  Session->SetName("ShopSession");
  Session->SetDatabaseName(DatabasePath);
  auto* Customers = new TZantrelSQLiteQuery(&Module);
  Customers->SetName("Customers");
  Customers->SetSession(Session);
  Customers->GetSQL()->SetText("select id, name, city, email, since\nfrom customers\norder by name");
  auto* CustomersSource = new TDataSource(&Module);
  CustomersSource->SetName("CustomersSource");
  CustomersSource->SetDataSet(Customers);
  // The orders of the current customer: :id comes from the master's id.
  auto* Orders = new TZantrelSQLiteQuery(&Module);
  Orders->SetName("Orders");
  Orders->SetSession(Session);
  Orders->SetDataSource(CustomersSource);
  Orders->GetSQL()->SetText("select id, ordered, total, shipped\nfrom orders\n"
                            "where customer_id = :id");
  // Stored open, so the designer shows live rows as soon as the form is read.
  Customers->SetActive(true);
  // Written under a temporary name, as the database is, so a reader never
  // sees half a form.
  const std::string Temp = FormPath + ".new";
  WriteComponentResFile(Temp, &Module);
  std::filesystem::rename(Temp, FormPath, Ec);
  if (Ec) {
    std::filesystem::remove(Temp, Ec);
    throw Exception("Cannot write the demo form " + FormPath + ": " + Ec.message());
  }
  return FormPath;
}

} // namespace ztl::cli
