// The SQLite session: the run-time loaded library and its reference count,
// connecting and its failures, adopting an application's handle.
#include <gtest/gtest.h>

#include <fstream>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteApi_p.h"
#include "framework/forms/DataModule.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {

TEST(SQLiteLibrary, LoadedOncePerDriverAndFreedWithTheLastSession) {
  TTempDir Dir;
  ASSERT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 0);
  auto First = std::make_unique<TZantrelSQLiteSession>();
  First->SetDatabaseName(":memory:");
  First->Open();
  EXPECT_TRUE(TSQLiteLibrary::Loaded());
  EXPECT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 1);
  auto Second = std::make_unique<TZantrelSQLiteSession>();
  Second->SetDatabaseName(Dir.File("b.db"));
  Second->Open();
  EXPECT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 2);
  First->Close();
  First->Open(); // reconnecting does not take another reference
  EXPECT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 2);
  First.reset();
  EXPECT_TRUE(TSQLiteLibrary::Loaded());
  Second.reset();
  EXPECT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 0);
  EXPECT_FALSE(TSQLiteLibrary::Loaded());
}

TEST(SQLiteLibrary, AMissingOrWrongLibraryIsReportedAndNothingStaysLoaded) {
  struct Case {
    const char* Library;
    const char* Error;
  };
  const Case Cases[] = {
      {"/nonexistent/libsqlite3.so.0", "Could not load the Database Interface library"},
      // A library that is no SQLite lacks every entry point.
      {"libz.so.1", "Function not supported by this version of the Database Interface library"},
  };
  for (const Case& C : Cases) {
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(":memory:");
    Session.SetLibraryName(C.Library);
    try {
      Session.Open();
      ADD_FAILURE() << C.Library << " opened";
    } catch (const EZantrelException& E) {
      EXPECT_STREQ(E.what(), C.Error) << C.Library;
    }
    EXPECT_FALSE(Session.GetConnected());
    EXPECT_FALSE(TSQLiteLibrary::Loaded()) << C.Library;
    EXPECT_EQ(TZantrelSQLiteSession::GetDriverLibraryRefCount(), 0);
    // The right library works afterwards in the same session.
    Session.SetLibraryName(TZantrelSQLiteSession::DefaultLibraryName);
    Session.Open();
    EXPECT_TRUE(Session.Execute("SELECT 1"));
  }
}

TEST(SQLiteConnect, FailuresCarrySQLitesMessageAndCode) {
  TTempDir Dir;
  {
    std::ofstream Junk(Dir.File("junk.db"));
    Junk << "this is not a database, just some text that is long enough to be read";
  }
  struct Case {
    std::string File;
    bool Create;
    const char* Error;
    std::int32_t Code;
  };
  const Case Cases[] = {
      {Dir.File("missing.db"), false, "unable to open database file", -SQLITE_CANTOPEN},
      {Dir.File("junk.db"), true, "file is not a database", -SQLITE_NOTADB},
      {"", true, "No database file given (DatabaseName is empty)", -SQLITE_CANTOPEN},
  };
  for (const Case& C : Cases) {
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(C.File);
    Session.SetCreateIfMissing(C.Create);
    EXPECT_THROW(Session.Open(), EZantrelException) << C.File;
    EXPECT_EQ(Session.GetLastError(), C.Error) << C.File;
    EXPECT_EQ(Session.GetLastErrorCode(), C.Code) << C.File;
    EXPECT_FALSE(Session.GetConnected());
  }
}

TEST(SQLiteConnect, ReadOnlyOpenRefusesWritesAndPropertiesWaitForDisconnect) {
  TTempDir Dir;
  TZantrelSQLiteSession Writer;
  Writer.SetDatabaseName(Dir.File("ro.db"));
  Writer.Open();
  ASSERT_TRUE(Writer.Execute("CREATE TABLE t(a)"));
  TZantrelSQLiteSession Reader;
  Reader.SetDatabaseName(Dir.File("ro.db"));
  Reader.SetReadOnly(true);
  Reader.Open();
  EXPECT_FALSE(Reader.Execute("INSERT INTO t VALUES (1)"));
  EXPECT_EQ(Reader.GetLastError(), "attempt to write a readonly database");
  EXPECT_EQ(Reader.GetLastErrorCode(), -SQLITE_READONLY);
  try {
    Reader.SetDatabaseName(Dir.File("other.db"));
    ADD_FAILURE() << "renamed while connected";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "Not allowed while connected to a database");
  }
  Reader.Close();
  Reader.SetDatabaseName(Dir.File("other.db"));
}

// An application's own connection is used as it is and never closed by the
// session.
TEST(SQLiteConnect, AdoptedHandleIsUsedAndLeftOpen) {
  TTempDir Dir;
  TZantrelSQLiteSession Owner; // keeps the library loaded for the raw calls
  Owner.SetDatabaseName(":memory:");
  Owner.Open();
  sqlite3* Raw = nullptr;
  ASSERT_EQ(SQLite().open_v2(Dir.File("adopt.db").c_str(), &Raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
            SQLITE_OK);
  ASSERT_EQ(
      SQLite().exec(Raw, "CREATE TABLE a(x); INSERT INTO a VALUES (42)", nullptr, nullptr, nullptr),
      SQLITE_OK);
  {
    TZantrelSQLiteSession Session;
    Session.SetHandle(Raw);
    EXPECT_TRUE(Session.GetHandleShared());
    EXPECT_EQ(Session.GetDatabase(), Raw);
    TZantrelSQLiteSQL Cursor;
    Cursor.SetSession(&Session);
    ASSERT_TRUE(Cursor.OpenRead("SELECT x FROM a"));
    EXPECT_EQ(Cursor.GetFieldValue(0).AsInteger(), 42);
    Session.Close();
    EXPECT_FALSE(Cursor.GetPreparedForOpen());
  }
  // Still open: the application closes it.
  EXPECT_EQ(SQLite().exec(Raw, "INSERT INTO a VALUES (43)", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(SQLite().close_v2(Raw), SQLITE_OK);
}

TEST(SQLiteForms, ConnectionPropertiesTravelThroughFormFiles) {
  RegisterZantrelSQLiteClasses();
  TTempDir Dir;
  const std::string File = Dir.File("form.db");
  std::unique_ptr<TComponent> Loaded(StringToComponent("object Db: TZantrelSQLiteSession\n"
                                                       "  Connected = True\n"
                                                       "  DatabaseName = '" +
                                                       File +
                                                       "'\n"
                                                       "  BusyTimeout = 250\n"
                                                       "end\n"));
  auto* Session = dynamic_cast<TZantrelSQLiteSession*>(Loaded.get());
  ASSERT_NE(Session, nullptr);
  // Connected was applied once loading ended, with the database name read.
  EXPECT_TRUE(Session->GetConnected());
  EXPECT_EQ(Session->GetDatabaseName(), File);
  EXPECT_EQ(Session->GetBusyTimeout(), 250);
  const std::string Text = ComponentToString(Session);
  EXPECT_NE(Text.find("BusyTimeout = 250"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("LibraryName"), std::string::npos) << Text; // the default is not stored
}

} // namespace ztl::testing
