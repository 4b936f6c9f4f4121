// ztl-designer's window driven as a person would, on Qt's offscreen
// platform, with the real packages loaded from the build's package folder:
// the form's components, the inspector's editors, the palette, the verbs,
// and the bytes a save writes.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QComboBox>
#include <QTableView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/classes/Classes.h"
#include "framework/widgets/Widgets.h"
#include "adapters/qt/ZtlDataSetModel.h"
#include "package/ZtlPackageLoader.h"
#include "tests/framework/widgets_test_util.h"
#include "tools/designer/DesignerDocument.h"
#include "tools/designer/DesignerWindow.h"
#include "tools/designer/ObjectInspector.h"

namespace ztl::test {
namespace {

using designer::TDesignerWindow;

// A form as the classic writer lays it out: a session, a query with events
// and persistent fields, a data source, and a query with stored parameters.
const char* const ShopForm =
    "object ShopModule: TDataModule\r\n"
    "  Height = 300\r\n"
    "  Width = 400\r\n"
    "  object Session1: TZantrelSQLiteSession\r\n"
    "    DatabaseName = 'shop.db'\r\n"
    "  end\r\n"
    "  object Customers: TZantrelSQLiteQuery\r\n"
    "    AfterOpen = CustomersAfterOpen\r\n"
    "    Session = Session1\r\n"
    "    SQL.Strings = (\r\n"
    "      'select * from customers')\r\n"
    "    object Customersid: TLargeintField\r\n"
    "      FieldName = 'id'\r\n"
    "    end\r\n"
    "    object Customersname: TStringField\r\n"
    "      DisplayLabel = 'Name'\r\n"
    "      FieldName = 'name'\r\n"
    "      Size = 80\r\n"
    "    end\r\n"
    "    object Customerscity: TStringField\r\n"
    "      FieldName = 'city'\r\n"
    "      Size = 80\r\n"
    "    end\r\n"
    "  end\r\n"
    "  object CustomersSource: TDataSource\r\n"
    "    DataSet = Customers\r\n"
    "  end\r\n"
    "  object Orders: TZantrelSQLiteQuery\r\n"
    "    Params.Data = {\r\n"
    "      01FFFF7F010000000B000000637573746F6D65725F69640B000000637573746F\r\n"
    "      6D65725F6964020400000001000000000100}\r\n"
    "    Session = Session1\r\n"
    "    SQL.Strings = (\r\n"
    "      'select * from orders where customer_id = :customer_id')\r\n"
    "  end\r\n"
    "end\r\n";

std::string ReadAll(const std::filesystem::path& File) {
  std::ifstream In(File, std::ios::binary);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

class DesignerTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    UseWidgets();
    const auto Result = LoadZtlPackageFolder(ZTL_PACKAGE_DIR);
    ASSERT_TRUE(Result.Errors.empty()) << Result.Errors.front();
  }

  void SetUp() override {
    // Short enough that the writer keeps the database path on one line.
    Dir = std::filesystem::temp_directory_path() / ("ztld-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    std::string Form = ShopForm;
    Form.replace(Form.find("'shop.db'"), 9, "'" + (Dir / "shop.db").string() + "'");
    std::ofstream(Dir / "shop.dfm", std::ios::binary) << Form;
    // The data as another program writes it.
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open((Dir / "shop.db").string().c_str(), &Db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Db,
                           "create table customers(id integer primary key, name varchar(20) "
                           "not null, city varchar(20));"
                           "insert into customers values (1, 'Ann', 'Oslo'), (2, 'Bob', null);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(Db);
    Window = std::make_unique<TDesignerWindow>(false);
    for (const TZtlLoadedPackage* Package : LoadedZtlPackages())
      Window->AddPackage(*Package->Info);
    ASSERT_TRUE(Window->OpenFile(QString::fromStdString((Dir / "shop.dfm").string())))
        << Window->LastError();
    Window->show();
  }
  void TearDown() override {
    Window.reset();
    std::filesystem::remove_all(Dir);
  }

  TComponent* Component(const char* Name) {
    return Window->Document().GetRoot()->FindComponent(Name);
  }
  QTreeWidgetItem* Row(const char* Path) {
    QTreeWidgetItem* Item = Window->Inspector().FindRow(Path);
    EXPECT_NE(Item, nullptr) << Path;
    return Item;
  }
  QString Value(const char* Path) { return Row(Path) ? Row(Path)->text(1) : QString(); }
  // Opens the row's editor as a click in the value column does.
  QWidget* OpenEditor(const char* Path) {
    QTreeWidgetItem* Item = Row(Path);
    Window->Inspector().setCurrentItem(Item, 1); // opens the editor (CurrentChanged)
    if (!Window->Inspector().indexWidget(Window->Inspector().currentIndex()))
      Window->Inspector().editItem(Item, 1);
    return Window->Inspector().indexWidget(Window->Inspector().currentIndex());
  }
  // Types Text into the row's editor and presses Enter, or picks it from
  // the row's list.
  void Type(const char* Path, const QString& Text) {
    QWidget* Editor = OpenEditor(Path);
    ASSERT_NE(Editor, nullptr) << Path;
    if (auto* Combo = qobject_cast<QComboBox*>(Editor)) {
      const int Index = Combo->findText(Text);
      ASSERT_GE(Index, 0) << Text.toStdString();
      Combo->setCurrentIndex(Index);
      emit Combo->activated(Index);
      return;
    }
    auto* Edit = Editor->findChild<QLineEdit*>("ValueEdit");
    ASSERT_NE(Edit, nullptr) << Path;
    Edit->selectAll();
    QTest::keyClick(Edit, Qt::Key_Delete);
    QTest::keyClicks(Edit, Text);
    QTest::keyClick(Edit, Qt::Key_Return);
  }

  std::filesystem::path Dir;
  std::unique_ptr<TDesignerWindow> Window;
};

TEST_F(DesignerTest, ShowsTheFormsComponentsAndPalettePages) {
  QStringList Items;
  for (QTreeWidgetItemIterator It(&Window->ComponentTree()); *It; ++It)
    Items << (*It)->text(0);
  EXPECT_EQ(Items, (QStringList{"ShopModule: TDataModule", "Session1: TZantrelSQLiteSession",
                                "Customers: TZantrelSQLiteQuery", "Customersid: TLargeintField",
                                "Customersname: TStringField", "Customerscity: TStringField",
                                "CustomersSource: TDataSource", "Orders: TZantrelSQLiteQuery"}));
  EXPECT_NE(Window->findChild<QToolButton*>("TZantrelSQLiteQuery"), nullptr);
  EXPECT_NE(Window->findChild<QToolButton*>("TZantrelPgSession"), nullptr);
  EXPECT_EQ(Window->PackageLines().size(), 3u);
  EXPECT_FALSE(Window->Document().IsModified());
}

TEST_F(DesignerTest, TypedValuesReachTheComponentAndTheSavedBytes) {
  Window->Select(Component("Customers"));
  Type("Tag", "7");
  EXPECT_EQ(Value("Tag"), "7");
  EXPECT_TRUE(Window->Document().IsModified());
  // A value that does not fit is refused with the registry's message.
  Type("Tag", "seven");
  EXPECT_EQ(Value("Tag"), "7");
  EXPECT_FALSE(Window->LastError().empty());

  ASSERT_TRUE(Window->SaveFile(QString::fromStdString((Dir / "out.dfm").string())));
  std::string Expected = ReadAll(Dir / "shop.dfm");
  const std::string Query = "  object Customers: TZantrelSQLiteQuery\r\n";
  Expected.insert(Expected.find(Query) + Query.size(), "    Tag = 7\r\n");
  EXPECT_EQ(ReadAll(Dir / "out.dfm"), Expected);
  EXPECT_FALSE(Window->Document().IsModified());
}

TEST_F(DesignerTest, AnUnchangedFormIsSavedByteForByteAndEventsByName) {
  ASSERT_TRUE(Window->SaveFile(QString::fromStdString((Dir / "same.dfm").string())));
  EXPECT_EQ(ReadAll(Dir / "same.dfm"), ReadAll(Dir / "shop.dfm"));

  Window->Select(Component("Customers"));
  EXPECT_EQ(Value("AfterOpen"), "CustomersAfterOpen");
  Type("AfterOpen", "");
  Type("BeforeClose", "CustomersBeforeClose");
  ASSERT_TRUE(Window->SaveFile(QString::fromStdString((Dir / "events.dfm").string())));
  const std::string Saved = ReadAll(Dir / "events.dfm");
  EXPECT_EQ(Saved.find("AfterOpen"), std::string::npos);
  EXPECT_NE(Saved.find("    BeforeClose = CustomersBeforeClose\r\n"), std::string::npos) << Saved;
}

TEST_F(DesignerTest, RenamingKeepsNamesUniqueAndReferencesFollow) {
  Window->Select(Component("Session1"));
  Type("Name", "Customers");
  EXPECT_NE(Window->LastError(), "");
  EXPECT_NE(Component("Session1"), nullptr);
  Type("Name", "Shop");
  ASSERT_NE(Component("Shop"), nullptr);
  Window->Select(Component("Customers"));
  EXPECT_EQ(Value("Session"), "Shop");
}

TEST_F(DesignerTest, ReferencesOfferTheFormsComponentsOfAFittingClass) {
  Window->Select(Component("Customers"));
  auto* Combo = qobject_cast<QComboBox*>(OpenEditor("Session"));
  ASSERT_NE(Combo, nullptr);
  QStringList Items;
  for (int I = 0; I < Combo->count(); ++I)
    Items << Combo->itemText(I);
  EXPECT_EQ(Items, (QStringList{"", "Session1"}));
  Combo->setCurrentIndex(0);
  emit Combo->activated(0);
  EXPECT_EQ(Value("Session"), "");

  // A data source reference offers data sources only.
  Window->Select(Component("Orders"));
  auto* Sources = qobject_cast<QComboBox*>(OpenEditor("DataSource"));
  ASSERT_NE(Sources, nullptr);
  ASSERT_EQ(Sources->count(), 2);
  EXPECT_EQ(Sources->itemText(1), "CustomersSource");
  Type("DataSource", "CustomersSource");
  EXPECT_EQ(Value("DataSource"), "CustomersSource");
}

TEST_F(DesignerTest, AddingAndDeletingComponentsThroughThePaletteAndTheMenu) {
  QTest::mouseClick(Window->findChild<QToolButton*>("TZantrelSQLiteSession"), Qt::LeftButton);
  ASSERT_NE(Component("ZantrelSQLiteSession1"), nullptr);
  EXPECT_EQ(Window->Selected(), Component("ZantrelSQLiteSession1"));
  QTest::mouseClick(Window->findChild<QToolButton*>("TZantrelSQLiteSession"), Qt::LeftButton);
  EXPECT_NE(Component("ZantrelSQLiteSession2"), nullptr);

  // Deleting the session the query uses leaves the query without one.
  Window->Select(Component("Session1"));
  Window->DeleteSelected();
  EXPECT_EQ(Component("Session1"), nullptr);
  Window->Select(Component("Customers"));
  EXPECT_EQ(Value("Session"), "");
  // The form itself stays.
  Window->Select(Window->Document().GetRoot());
  Window->DeleteSelected();
  EXPECT_NE(Window->Document().GetRoot(), nullptr);
}

TEST_F(DesignerTest, TheDriversComponentEditorGivesTheAboutVerb) {
  Window->Select(Component("Customers"));
  EXPECT_EQ(Window->Verbs(), QStringList{"Abo&ut Zantrelix 1.91..."});
  Window->Select(Window->Document().GetRoot());
  EXPECT_TRUE(Window->Verbs().isEmpty());
}

TEST_F(DesignerTest, StringListsAreEditedInATextDialog) {
  Window->Select(Component("Customers"));
  QWidget* Editor = OpenEditor("SQL");
  ASSERT_NE(Editor, nullptr);
  auto* Ellipsis = Editor->findChild<QToolButton*>("EllipsisButton");
  ASSERT_NE(Ellipsis, nullptr);
  WhenModal([](QWidget* Dialog) {
    auto* Lines = Dialog->findChild<QPlainTextEdit*>("Lines");
    ASSERT_NE(Lines, nullptr);
    EXPECT_EQ(Lines->toPlainText(), "select * from customers");
    Lines->setPlainText("select id, name\nfrom customers where id > :low");
    qobject_cast<QDialog*>(Dialog)->accept();
  });
  QTest::mouseClick(Ellipsis, Qt::LeftButton);
  EXPECT_TRUE(Window->Document().IsModified());
  // The new text made its parameter.
  ASSERT_TRUE(Window->Inspector().FindRow("Params"));
  ASSERT_TRUE(Window->SaveFile(QString::fromStdString((Dir / "out.dfm").string())));
  EXPECT_NE(ReadAll(Dir / "out.dfm").find("      'select id, name'\r\n      'from customers where id > :low')"),
            std::string::npos);
}

TEST_F(DesignerTest, TheParamsEllipsisRunsTheParamsEditor) {
  Window->Select(Component("Customers"));
  Type("SQL", "ignored"); // read-only text: nothing typed reaches the list
  QWidget* Editor = OpenEditor("Params");
  ASSERT_NE(Editor, nullptr);
  auto* Ellipsis = Editor->findChild<QToolButton*>("EllipsisButton");
  ASSERT_NE(Ellipsis, nullptr);
  QString Caption;
  WhenModal([&](QWidget* Dialog) {
    Caption = Dialog->windowTitle();
    QTest::mouseClick(Dialog->findChild<QWidget*>("btnCancel"), Qt::LeftButton);
  });
  QTest::mouseClick(Ellipsis, Qt::LeftButton);
  EXPECT_EQ(Caption, "Customers.TZantrelParams Parameters");
}

TEST_F(DesignerTest, AnActiveQueryShowsItsRowsAndTakesEditsInTheGrid) {
  Window->Select(Component("Customers"));
  Type("Active", "True");
  ASSERT_EQ(Value("Active"), "True") << Window->LastError();

  QAbstractItemModel* Model = Window->DataGrid().model();
  while (Model->canFetchMore(QModelIndex()))
    Model->fetchMore(QModelIndex());
  ASSERT_EQ(Model->rowCount(), 2);
  ASSERT_EQ(Model->columnCount(), 3);
  // The persistent fields decide the columns and their labels.
  EXPECT_EQ(Model->headerData(1, Qt::Horizontal).toString(), "Name");
  EXPECT_EQ(Model->index(0, 1).data().toString(), "Ann");
  EXPECT_TRUE(Model->index(1, 2).data(Qt::EditRole).isNull());

  // The query is read-only until told otherwise; then an edit is posted.
  EXPECT_FALSE(Model->setData(Model->index(0, 2), "Bergen"));
  Type("Active", "False");
  Type("ReadOnly", "False");
  Type("Active", "True");
  ASSERT_EQ(Value("ReadOnly"), "False");
  while (Model->canFetchMore(QModelIndex()))
    Model->fetchMore(QModelIndex());
  ASSERT_TRUE(Model->setData(Model->index(0, 2), "Bergen"))
      << Window->GridModel().GetLastError().toStdString();
  // A refused edit comes back with the database's message.
  EXPECT_FALSE(Model->setData(Model->index(1, 1), QVariant()));
  EXPECT_NE(Window->GridModel().GetLastError(), "");
  Type("Active", "False");
  EXPECT_EQ(Model->rowCount(), 0);

  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open((Dir / "shop.db").string().c_str(), &Db), SQLITE_OK);
  std::string City;
  sqlite3_exec(
      Db, "select city from customers where id = 1",
      [](void* Out, int, char** Values, char**) {
        *static_cast<std::string*>(Out) = Values[0] ? Values[0] : "(null)";
        return 0;
      },
      &City, nullptr);
  sqlite3_close(Db);
  EXPECT_EQ(City, "Bergen");
}

TEST_F(DesignerTest, AFormThatCannotBeReadLeavesTheOpenOneAlone) {
  std::ofstream(Dir / "bad.dfm", std::ios::binary) << "object X: TNoSuchClass\r\nend\r\n";
  EXPECT_FALSE(Window->OpenFile(QString::fromStdString((Dir / "bad.dfm").string())));
  EXPECT_NE(Window->LastError().find("TNoSuchClass"), std::string::npos);
  EXPECT_NE(Component("Customers"), nullptr);
}

} // namespace
} // namespace ztl::test
