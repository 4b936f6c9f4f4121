// Component classes for the form-file tests and the form-reader fuzzer: a
// property of every kind, a persistent sub-object with defined (list and
// binary) properties, and a container that nests what it owns.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/forms/DataModule.h"
#include "framework/classes/FormFiles.h"
#include "framework/classes/Strings.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

enum TTestColor : std::uint8_t { tcRed, tcGreen, tcBlue };
using TTestColors = Set<TTestColor>;

// A persistent value with a published property and two defined ones: a
// list of integers ("Points") and raw bytes ("Data").
class TTestItem : public TPersistent {
public:
  int GetWidth() const { return Width; }
  void SetWidth(int Value) { Width = Value; }

  int Width = 0;
  std::vector<std::int64_t> Points;
  std::string Data;

protected:
  void DefineProperties(TFiler* Filer) override {
    const auto* A = dynamic_cast<const TTestItem*>(Filer->GetAncestor());
    Filer->DefineProperty(
        "Points",
        [this](TReader& R) {
          Points.clear();
          R.ReadListBegin();
          while (!R.EndOfList())
            Points.push_back(R.ReadInteger());
          R.ReadListEnd();
        },
        [this](TWriter& W) {
          W.WriteListBegin();
          for (std::int64_t P : Points)
            W.WriteInteger(P);
          W.WriteListEnd();
        },
        A ? A->Points != Points : !Points.empty());
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream& S) {
          Data.resize(static_cast<std::size_t>(S.GetSize() - S.GetPosition()));
          S.ReadBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
        },
        [this](TStream& S) { S.WriteBuffer(Data.data(), static_cast<std::int32_t>(Data.size())); },
        A ? A->Data != Data : !Data.empty());
  }
};

// Loaded calls of every test component, in order, for all tests to inspect.
inline std::vector<std::string>& LoadedLog() {
  static std::vector<std::string> Log;
  return Log;
}

class TTestComponent : public TComponent {
public:
  explicit TTestComponent(TComponent* AOwner) : TComponent(AOwner) {}
  ~TTestComponent() override { Destroying(); }

  bool GetActive() const { return Active; }
  void SetActive(bool Value) { Active = Value; }
  int GetCount() const { return Count; }
  void SetCount(int Value) { Count = Value; }
  std::int64_t GetBig() const { return Big; }
  void SetBig(std::int64_t Value) { Big = Value; }
  short GetSmall() const { return Small; }
  void SetSmall(short Value) { Small = Value; }
  TTestColor GetColor() const { return Color; }
  void SetColor(TTestColor Value) { Color = Value; }
  TTestColors GetColors() const { return Colors; }
  void SetColors(TTestColors Value) { Colors = Value; }
  const std::string& GetCaption() const { return Caption; }
  void SetCaption(const std::string& Value) {
    if (Value == "fail")
      throw EComponentError("Caption refused");
    Caption = Value;
  }
  double GetRatio() const { return Ratio; }
  void SetRatio(double Value) { Ratio = Value; }
  TTestComponent* GetBuddy() const { return Buddy; }
  void SetBuddy(TTestComponent* Value) {
    if (Buddy)
      Buddy->RemoveFreeNotification(this);
    Buddy = Value;
    if (Buddy)
      Buddy->FreeNotification(this);
    BuddySetWhileReading = InState(csReading);
  }
  TStringList* GetLines() const { return Lines.get(); }
  TTestItem* GetItem() const { return Item.get(); }

  void Loaded() override {
    TComponent::Loaded();
    LoadedLog().push_back(GetName());
    BuddyAtLoaded = Buddy;
  }

  bool BuddySetWhileReading = false;       // the reference arrived before reading ended
  TTestComponent* BuddyAtLoaded = nullptr; // the reference as Loaded saw it

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == Buddy)
      Buddy = nullptr;
  }

private:
  bool Active = false;
  int Count = 0;
  std::int64_t Big = 0;
  short Small = 0;
  TTestColor Color = tcRed;
  TTestColors Colors;
  std::string Caption;
  double Ratio = 0;
  TTestComponent* Buddy = nullptr;
  std::unique_ptr<TStringList> Lines = std::make_unique<TStringList>();
  std::unique_ptr<TTestItem> Item = std::make_unique<TTestItem>();
};

// Writes the components it owns inside its own object and owns what is read
// there.
class TTestContainer : public TTestComponent {
public:
  using TTestComponent::TTestComponent;
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override {
    (void)Root;
    for (int I = 0; I < GetComponentCount(); ++I)
      Proc(GetComponent(I));
  }
  TComponent* GetChildOwner() override { return this; }
};

inline void RegisterTestClasses() {
  RegisterEnum<TTestColor>("TTestColor", {"tcRed", "tcGreen", "tcBlue"});
  RegisterClass<TTestItem, TPersistent>();
  RegisterProperty<TTestItem>("Width", &TTestItem::GetWidth, &TTestItem::SetWidth, 0);
  using C = TTestComponent;
  RegisterClass<C, TComponent>();
  RegisterProperty<C>("Active", &C::GetActive, &C::SetActive, false);
  RegisterProperty<C>("Count", &C::GetCount, &C::SetCount, 0);
  RegisterProperty<C>("Big", &C::GetBig, &C::SetBig, 0);
  RegisterProperty<C>("Small", &C::GetSmall, &C::SetSmall, 0);
  RegisterProperty<C>("Color", &C::GetColor, &C::SetColor, tcRed);
  RegisterProperty<C>("Colors", &C::GetColors, &C::SetColors, TTestColors{});
  RegisterProperty<C>("Caption", &C::GetCaption, &C::SetCaption);
  RegisterProperty<C>("Ratio", &C::GetRatio, &C::SetRatio);
  RegisterProperty<C>("Buddy", &C::GetBuddy, &C::SetBuddy);
  RegisterProperty<C>("Lines", &C::GetLines, nullptr);
  RegisterProperty<C>("Item", &C::GetItem, nullptr);
  RegisterClass<TTestContainer, TTestComponent>();
}

} // namespace ztl
