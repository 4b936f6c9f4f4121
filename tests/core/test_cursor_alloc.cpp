// The re-open and re-execute of an unchanged shape allocate nothing. Global
// operator new is counted here, so this suite has an executable of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "tests/core/CursorFixture.h"

namespace {
long Allocations = 0; // operator new calls since the program started
} // namespace

void* operator new(std::size_t Size) {
  ++Allocations;
  if (void* P = std::malloc(Size ? Size : 1))
    return P;
  throw std::bad_alloc();
}
void operator delete(void* P) noexcept {
  std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
  std::free(P);
}

namespace ztl {
namespace {

using CursorAllocationTest = CursorTest;

TEST_F(CursorAllocationTest, ReopeningTheSameShapeAllocatesNothing) {
  SQL.SetQuiet(true); // the driver's own log would allocate
  const std::vector<Variant> Params = {1, 2.5, "short text", true};
  const Variant AsArray = VarArrayOf({1, 2.5, "short text", true});
  const long AtStart = Allocations;
  ASSERT_TRUE(SQL.Open(SelectParts, Params, true));
  ASSERT_GT(Allocations - AtStart, 0) << "the counter sees the first open build its variables";

  const long Before = Allocations;
  for (int I = 0; I < 3; ++I) {
    ASSERT_TRUE(SQL.Open(SelectParts, Params, true));
    ASSERT_TRUE(SQL.OpenPrepared(AsArray, true));
  }
  EXPECT_EQ(Allocations - Before, 0);
}

TEST_F(CursorAllocationTest, ReexecutingTheSameShapeAllocatesNothing) {
  SQL.SetQuiet(true);
  Session.SetAutoCommit(false); // the recording session logs its commits
  const std::string Update = "update parts set qty = ? where id = ?";
  const std::vector<Variant> Params = {5, 1};
  ASSERT_TRUE(SQL.Execute(Update, Params));

  const long Before = Allocations;
  for (int I = 0; I < 3; ++I) {
    ASSERT_TRUE(SQL.Execute(Update, Params));
    ASSERT_TRUE(SQL.ExecutePrepared(Params));
  }
  EXPECT_EQ(Allocations - Before, 0);
}

} // namespace
} // namespace ztl
