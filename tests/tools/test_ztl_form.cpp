// ztl form as a user runs it: the component tree of a form file holding an
// embedded session and a query, and writing the form back byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TestHelpers.h"

namespace {

using ztl::test::RunZtl;
using ztl::test::TRun;

std::string ReadAll(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

class ZtlForm : public ::testing::Test {
protected:
  std::filesystem::path Write(const std::string& Name, const std::string& Text) {
    std::ofstream(Dir / Name, std::ios::binary) << Text;
    return Dir / Name;
  }
  ztl::test::TTempDir Temp{"ztl-form"};
  const std::filesystem::path& Dir = Temp.Path();
};

const char* const SessionAndQuery = "object DataModule1: TDataModule\r\n"
                                    "  object Session1: TZantrelSQLiteSession\r\n"
                                    "    DatabaseName = ':memory:'\r\n"
                                    "  end\r\n"
                                    "  object Query1: TZantrelSQLiteQuery\r\n"
                                    "    Session = Session1\r\n"
                                    "    SQL.Strings = (\r\n"
                                    "      'select 1 as one,'\r\n"
                                    "      '  :p as two')\r\n"
                                    "  end\r\n"
                                    "end\r\n";

} // namespace

TEST_F(ZtlForm, PrintsTheTreeOfTheDriversComponents) {
  const TRun Run = RunZtl("form '" + Write("dm.zfm", SessionAndQuery).string() + "'");
  ASSERT_EQ(Run.ExitCode, 0) << Run.Output;
  EXPECT_NE(Run.Output.find("DataModule1: TDataModule\n"), std::string::npos) << Run.Output;
  EXPECT_NE(Run.Output.find("\n  Session1: TZantrelSQLiteSession\n"), std::string::npos);
  EXPECT_NE(Run.Output.find("    DatabaseName = ':memory:'\n"), std::string::npos);
  EXPECT_NE(Run.Output.find("\n  Query1: TZantrelSQLiteQuery\n"), std::string::npos);
  EXPECT_NE(Run.Output.find("    Session = Session1\n"), std::string::npos);
  EXPECT_NE(Run.Output.find("      'select 1 as one,'\n"), std::string::npos);
}

TEST_F(ZtlForm, SavingAFormWeWroteGivesTheSameBytes) {
  const auto In = Write("in.zfm", SessionAndQuery);
  const TRun Save =
      RunZtl("form '" + In.string() + "' --save '" + (Dir / "out.zfm").string() + "'");
  ASSERT_EQ(Save.ExitCode, 0) << Save.Output;
  EXPECT_EQ(ReadAll(Dir / "out.zfm"), SessionAndQuery);
}

TEST_F(ZtlForm, ABrokenFormIsOneClearErrorWithItsLine) {
  const TRun Run = RunZtl("form '" +
                          Write("bad.zfm", "object D: TDataModule\r\n  object S: TNoSuchClass\r\n"
                                           "  end\r\nend\r\n")
                              .string() +
                          "'");
  EXPECT_NE(Run.ExitCode, 0);
  EXPECT_NE(Run.Output.find("TNoSuchClass"), std::string::npos) << Run.Output;
  EXPECT_NE(Run.Output.find("line 2"), std::string::npos) << Run.Output;
}

namespace {

std::string FormFile(const char* Name) {
  return std::string(ZTL_FORMS_DIR) + "/" + Name;
}

} // namespace

// Form files laid out as the classic writers lay them out, holding data
// sources, persistent fields (lookup and calculated ones too), events, a
// stored procedure with stored parameters and a cursor: saved again, they
// come back unchanged.
TEST_F(ZtlForm, ClassicFormsComeBackByteForByte) {
  for (const char* Name : {"items.zfm", "orders.zfm"}) {
    const std::filesystem::path Out = Dir / (std::string(Name) + ".out");
    const TRun Save = RunZtl("form '" + FormFile(Name) + "' --save '" + Out.string() + "'");
    ASSERT_EQ(Save.ExitCode, 0) << Name << "\n" << Save.Output;
    const std::string Original = ReadAll(FormFile(Name));
    ASSERT_FALSE(Original.empty()) << Name;
    EXPECT_EQ(ReadAll(Out), Original) << Name;
  }
}

TEST_F(ZtlForm, PrintsFieldsInsideTheirDatasetAndOnlyEventsWithHandlers) {
  const TRun Run = RunZtl("form '" + FormFile("items.zfm") + "'");
  ASSERT_EQ(Run.ExitCode, 0) << Run.Output;
  for (const char* Line : {"\n  Query1: TZantrelSQLiteQuery\n", "\n    AfterOpen = Query1AfterOpen\n",
                           "\n    Query1COUNTRY: TStringField\n", "\n      FieldKind = fkLookup\n",
                           "\n      LookupDataSet = Query2\n", "\n  DataSource1: TDataSource\n",
                           "\n    DataSet = Query1\n"})
    EXPECT_NE(Run.Output.find(Line), std::string::npos) << Line << Run.Output;
  EXPECT_EQ(Run.Output.find("BeforeOpen"), std::string::npos) << Run.Output;
}
