// Lists, assignment errors, component ownership and free notification.
#include <gtest/gtest.h>

#include <memory>

#include "framework/classes/Classes.h"

using namespace ztl;

TEST(TList, IndexErrorsNameTheIndex) {
  TList L;
  int A = 1, B = 2;
  L.Add(&A);
  L.Insert(0, &B);
  EXPECT_EQ(L[0], &B);
  EXPECT_EQ(L.IndexOf(&A), 1);
  for (int Bad : {-1, 2}) {
    try {
      L.Get(Bad);
      FAIL() << Bad;
    } catch (const EListError& E) {
      EXPECT_EQ(std::string(E.what()), "List index out of bounds (" + std::to_string(Bad) + ")");
    }
  }
  EXPECT_THROW(L.Insert(3, &A), EListError);
  EXPECT_EQ(L.Remove(&B), 0);
  EXPECT_EQ(L.Remove(&B), -1);
  EXPECT_EQ(L.Count(), 1);
}

namespace {
class TProbe : public TComponent {
public:
  using TComponent::TComponent;
  TComponent* Peer = nullptr;
  std::vector<std::string>* Log = nullptr;
  ~TProbe() override {
    if (Log)
      Log->push_back("destroy " + GetName());
  }

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == Peer)
      Peer = nullptr;
  }
};
} // namespace

TEST(TComponent, OwnerDestroysOwnedComponentsLastFirst) {
  std::vector<std::string> Log;
  auto Owner = std::make_unique<TProbe>(nullptr);
  for (const char* Name : {"A", "B", "C"}) {
    auto* P = new TProbe(Owner.get());
    P->SetName(Name);
    P->Log = &Log;
  }
  EXPECT_EQ(Owner->GetComponentCount(), 3);
  EXPECT_EQ(Owner->FindComponent("b")->GetComponentIndex(), 1);
  delete Owner->FindComponent("B");
  EXPECT_EQ(Owner->GetComponentCount(), 2);
  Owner.reset();
  EXPECT_EQ(Log, (std::vector<std::string>{"destroy B", "destroy C", "destroy A"}));
}

TEST(TComponent, DuplicateOrInvalidNamesAreRejected) {
  TComponent Owner(nullptr);
  auto* A = new TComponent(&Owner);
  A->SetName("Session1");
  auto* B = new TComponent(&Owner);
  EXPECT_THROW(B->SetName("SESSION1"), EComponentError);
  EXPECT_THROW(B->SetName("1x"), EComponentError);
  B->SetName("Query1");
  EXPECT_EQ(B->GetName(), "Query1");
}

TEST(TComponent, FreeNotificationClearsReferencesInBothDirections) {
  auto Session = std::make_unique<TComponent>(nullptr);
  auto Query = std::make_unique<TProbe>(nullptr);
  Query->Peer = Session.get();
  Query->FreeNotification(Session.get());
  Session.reset();
  EXPECT_EQ(Query->Peer, nullptr);

  auto Other = std::make_unique<TComponent>(nullptr);
  Query->Peer = Other.get();
  Query->FreeNotification(Other.get());
  Query.reset(); // the survivor must not keep a pointer to the dead query
  Other.reset();
}

TEST(TComponent, DesigningSpreadsToOwnedComponents) {
  TComponent Owner(nullptr);
  Owner.SetDesigning(true);
  auto* Child = new TComponent(&Owner);
  EXPECT_TRUE(Child->InState(csDesigning));
  Owner.SetLoadingState(true);
  Owner.Loaded();
  EXPECT_FALSE(Owner.InState(csLoading));
}

TEST(TPersistent, AssignWithoutAKnownPathRaisesTheAssignError) {
  TComponent A(nullptr), B(nullptr);
  try {
    A.Assign(&B);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TComponent to a TComponent");
  }
  EXPECT_THROW(A.Assign(nullptr), EConvertError);
}
