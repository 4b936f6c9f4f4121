// Statement analysis: the first table, the ORDER BY items with their directions, and the
// parameter names, for the shapes of statement the package meets and the odd ones.
#include <gtest/gtest.h>

#include <string>

#include "sqltext/ZtlUtil.h"

using namespace ztl;

TEST(SQLAnalysis, TableOrderByAndParametersOfStatements) {
  struct Case {
    std::string SQL, Table, OrderBy, Directions, Params;
  };
  const Case Cases[] = {
      {"SELECT * FROM customer c WHERE c.id = :id AND name LIKE :pat ORDER BY name DESC, 2",
       "customer", "name;2", "DESC;ASC", "id;pat"},
      {"select a from owner.tab1, tab2 where x is not null", "tab1", "", "", ""},
      {"SELECT a FROM db.own.t", "db", "", "", ""},
      {"SELECT a FROM t ORDER BY a ASC, b, c DESC FOR UPDATE", "t", "a;b;c", "ASC;ASC;DESC", ""},
      {"SELECT a FROM t ORDER BY t.a DESC DESC", "t", "a", "DESC;DESC", ""},
      {"UPDATE t SET a=:a, b=:b WHERE id IN (:x,:y)", "", "", "", "a;b;x;y"},
      {"SELECT a FROM t WHERE a<>:b OR c>=:d", "t", "", "", "b;d"},
      {"SELECT x FROM t WHERE :p=a", "t", "", "", "p=a"},
      {"SELECT a FROM t WHERE a=:b.c", "t", "", "", ""},
      {"SELECT x FROM (SELECT y FROM u) v", "(SELECT", "", "", ""},
      {"SELECT a\tFROM t", "", "", "", ""},
      {"SELECT a FROM t WHERE b = 'it''s :no' AND c=:c", "t", "", "", "c"},
      {"SELECT a FROM /* note */ t", "t", "", "", ""},
      {"SELECT a FROM t WHERE a=:a/* note */ and b = :b", "t", "", "", "b"},
      {"x := :y", "", "", "", "y"},
      {"", "", "", "", ""},
      // Further shapes.
      {"SELECT a FROM \"own\".\"tab\" x", "tab", "", "", ""},
      {"SELECT a FROM 'quoted' ORDER BY 'v', 3 desc", "quoted", "v;3", "ASC;DESC", ""},
      {"SELECT (SELECT x FROM u) FROM t", "u)", "", "", ""},
      {"SELECT a FROM WHERE b", "", "", "", ""},
      {"SELECT a FROM t GROUP BY a ORDER BY a UNION SELECT b FROM u ORDER BY b", "t", "a", "ASC",
       ""},
      {"SELECT a FROM t WHERE a = :a AND b = :a OR c = : OR d = :x)", "t", "", "", "a;a;x"},
      {"SELECT a FROM t ORDER BY", "t", "", "", ""},
      {std::string("SELECT a FROM t WHERE a=:a\0 ORDER BY b", 38), "t", "", "", "a"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(ZtlGetTableNameFromSQL(C.SQL), C.Table) << C.SQL;
    std::string Directions = "stale";
    EXPECT_EQ(ZtlGetOrderByFromSQL(C.SQL, Directions), C.OrderBy) << C.SQL;
    EXPECT_EQ(Directions, C.Directions) << C.SQL;
    EXPECT_EQ(ZtlGetParamsFromSQL(C.SQL), C.Params) << C.SQL;
  }
}
