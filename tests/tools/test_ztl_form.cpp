// ztl form as a user runs it: the component tree of a form file holding an
// embedded session and a query, and writing the form back byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
  std::string Output; // standard output and standard error together
  int ExitCode;       // the program's exit status, -1 when it did not exit normally
};

TRun RunZtl(const std::string& Arguments) {
  const std::string Command = std::string("'") + ZTL_PROGRAM + "' " + Arguments + " 2>&1";
  TRun Run{"", -1};
  FILE* Pipe = popen(Command.c_str(), "r");
  if (Pipe == nullptr)
    return Run;
  std::array<char, 512> Chunk;
  std::size_t Got;
  while ((Got = fread(Chunk.data(), 1, Chunk.size(), Pipe)) > 0)
    Run.Output.append(Chunk.data(), Got);
  const int Status = pclose(Pipe);
  if (Status != -1 && WIFEXITED(Status))
    Run.ExitCode = WEXITSTATUS(Status);
  return Run;
}

std::string ReadAll(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

class ZtlForm : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("ztl_form_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::filesystem::path Write(const std::string& Name, const std::string& Text) {
    std::ofstream(Dir / Name, std::ios::binary) << Text;
    return Dir / Name;
  }
  std::filesystem::path Dir;
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
