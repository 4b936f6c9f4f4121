// The PostgreSQL driver's catalog relations: which names in a statement's
// text are taken for them, and that the rewritten statements mean on the
// server what they say.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "drivers/postgres/PgCatalog_p.h"
#include "tests/drivers/postgres/PgTestSupport.h"

namespace ztl::testing {
namespace {

TEST(PgCatalogText, FindsOnlyPlainReferencesOutsideLiteralsAndComments) {
  const struct {
    const char* SQL;
    std::uint32_t Found;
  } Cases[] = {
      {"select * from sys.systable", pcrTable},
      {"select * from SYS . SysTable, sys.sysuserperms", pcrTable | pcrUser},
      {"select * from sys.syscolumn sc join sys.sysprocedure p on 1=1", pcrColumn | pcrProcedure},
      {"select 'sys.systable'", 0},
      {"select E'\\' sys.systable'", 0},
      {"select $q$ sys.systable $q$", 0},
      {"select 1 -- sys.systable", 0},
      {"select /* /* sys.systable */ */ 1", 0},
      {"select * from \"sys\".\"systable\"", 0},
      {"select * from \"sys\".systable", 0},
      {"select * from db.sys.systable", 0},
      {"select * from mysys.systable, sys.systables, sys.sys_table", 0},
      {"select :sys.systable", 0},
      {"create table sys.systable (n int)", 0},
      {"create table if not exists sys.syscolumn (n int)", 0},
      {"insert into sys.sysprocedure values (1)", 0},
      {"update sys.sysuserperms set user_id = 1", 0},
      {"create index i on sys.systable (n)", 0},
      {"select 1 from sys.systable join sys.sysuserperms on sys.systable.creator = user_id",
       pcrTable | pcrUser},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(PgCatalogReferences(C.SQL), C.Found) << C.SQL;
    if (C.Found == 0) { // nothing to replace: byte for byte the same
      EXPECT_EQ(PgRewriteCatalog(C.SQL, pcrTable | pcrColumn | pcrProcedure | pcrUser), C.SQL);
    }
  }
  // Only the relations asked for are replaced.
  const std::string Partly = PgRewriteCatalog("select * from sys.systable, sys.mine", pcrTable);
  EXPECT_EQ(Partly.find("sys.systable"), std::string::npos);
  EXPECT_NE(Partly.find(", sys.mine"), std::string::npos);
  EXPECT_EQ(PgRewriteCatalog("select * from sys.systable", pcrUser), "select * from sys.systable");
}

class PgCatalogTest : public PgTest {
protected:
  // The first value of the first row of SQL, as text.
  std::string Value(const std::string& SQL) {
    TZantrelPgSQL Cursor;
    Cursor.SetSession(Session.get());
    if (!Cursor.OpenRead(SQL, {}))
      return "error: " + Session->GetLastError();
    return Cursor.GetFieldValue(Variant(0)).AsString();
  }
};

TEST_F(PgCatalogTest, RewrittenStatementsKeepTheirShape) {
  Exec("drop table if exists catalog_probe");
  Exec("create table catalog_probe (a int, b text)");
  const struct {
    const char* SQL;
    const char* Expected;
  } Cases[] = {
      {"select count(*) from sys.systable where table_name = 'catalog_probe'", "1"},
      {"select count(*) from sys.systable st where st.table_name = 'catalog_probe'", "1"},
      {"select count(*) from sys.systable AS st where st.table_name = 'catalog_probe'", "1"},
      {"select count(*) from sys.systable \"St\" where \"St\".table_name = 'catalog_probe'", "1"},
      {"select sys.systable.table_type from sys.systable where table_name = 'catalog_probe'",
       "BASE"},
      {"select user_name from sys.systable join sys.sysuserperms on creator = user_id "
       "where table_name = 'catalog_probe'",
       "public"},
      {"select string_agg(column_name, ',' order by column_id) from sys.syscolumn c, "
       "sys.systable t where c.table_id = t.table_id and table_name = 'catalog_probe'",
       "a,b"},
      {"select (select count(*) from sys.syscolumn) > 0", "True"},
      {"select table_name from sys.systable\n-- closing remark\n"
       "where table_name = 'catalog_probe'",
       "catalog_probe"},
      {"select table_name from sys.systable where table_name like 'catalog\\_pr%' order by 1 "
       "limit 1",
       "catalog_probe"},
      {"select user_name from sys.sysuserperms where user_id = 1", "public"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Value(C.SQL), C.Expected) << C.SQL;
  Exec("drop table catalog_probe");
}

TEST_F(PgCatalogTest, CatalogRowsAreNeverWritable) {
  TZantrelPgSQL Cursor;
  Cursor.SetSession(Session.get());
  for (const char* SQL :
       {"select table_name from sys.systable", "select column_name from sys.syscolumn",
        "select user_name from sys.sysuserperms"}) {
    ASSERT_TRUE(Cursor.Describe(SQL)) << SQL << ": " << Session->GetLastError();
    EXPECT_FALSE(Cursor.GetUpdatable()) << SQL;
  }
}

TEST_F(PgCatalogTest, HostVariablesAndScriptsAreRewrittenToo) {
  TZantrelPgSQL Cursor;
  Cursor.SetSession(Session.get());
  // Host variables beside the sub-queries keep their numbers.
  ASSERT_TRUE(Cursor.OpenRead("select count(*) from sys.sysuserperms where user_name = :n",
                              {Variant("public")}))
      << Session->GetLastError();
  EXPECT_EQ(Cursor.GetFieldValue(Variant(0)).AsString(), "1");
  EXPECT_TRUE(Session->Execute("select 1 from sys.systable; select 1 from sys.syscolumn"))
      << Session->GetLastError();
}

} // namespace
} // namespace ztl::testing
