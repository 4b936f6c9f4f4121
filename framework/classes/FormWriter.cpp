// TWriter: turns components into a form tree (only what differs from the
// defaults or from an ancestor form) and prints it; the design-position
// properties every component stores.
#include <algorithm>
#include <cmath>

#include "framework/classes/FormFiles.h"

namespace ztl {

namespace {

// Sets csWriting on a component for as long as it is being written.
class TWritingState {
public:
  explicit TWritingState(TComponent* AComponent) : Component(AComponent) {
    Component->SetWritingState(true);
  }
  ~TWritingState() { Component->SetWritingState(false); }
  TWritingState(const TWritingState&) = delete;
  TWritingState& operator=(const TWritingState&) = delete;

private:
  TComponent* Component; // the component being written
};

// The 16-bit halves of a design position. Form files hold them as the
// unsigned words the classic writer stores; reading also takes the negative
// values a signed writer would produce.
std::int64_t LowWord(std::int32_t Info) {
  return static_cast<std::uint32_t>(Info) & 0xFFFF;
}
std::int64_t HighWord(std::int32_t Info) {
  return static_cast<std::uint32_t>(Info) >> 16;
}
std::uint32_t CheckWord(std::int64_t Value) {
  if (Value < -32768 || Value > 65535)
    throw EPropertyError(SInvalidPropertyValue);
  return static_cast<std::uint32_t>(Value) & 0xFFFF;
}

std::vector<TComponent*> ChildrenOf(TComponent* Component, TComponent* ARoot) {
  std::vector<TComponent*> Result;
  if (Component)
    Component->GetChildren([&Result](TComponent* Child) { Result.push_back(Child); }, ARoot);
  return Result;
}

} // namespace

void TFiler::DefineDesignInfo(TComponent& Component, TFiler& Filer) {
  const auto* AncestorComponent = dynamic_cast<const TComponent*>(Filer.GetAncestor());
  const std::int32_t Base = AncestorComponent ? AncestorComponent->DesignInfo : 0;
  TComponent* C = &Component;
  Filer.DefineProperty(
      "Left",
      [C](TReader& Reader) {
        const std::uint32_t Word = CheckWord(Reader.ReadInteger());
        C->DesignInfo = static_cast<std::int32_t>(
            (static_cast<std::uint32_t>(C->DesignInfo) & 0xFFFF0000u) | Word);
      },
      [C](TWriter& Writer) { Writer.WriteInteger(LowWord(C->DesignInfo)); },
      LowWord(C->DesignInfo) != LowWord(Base));
  Filer.DefineProperty(
      "Top",
      [C](TReader& Reader) {
        const std::uint32_t Word = CheckWord(Reader.ReadInteger());
        C->DesignInfo = static_cast<std::int32_t>(
            (static_cast<std::uint32_t>(C->DesignInfo) & 0x0000FFFFu) | (Word << 16));
      },
      [C](TWriter& Writer) { Writer.WriteInteger(HighWord(C->DesignInfo)); },
      HighWord(C->DesignInfo) != HighWord(Base));
}

TWriter::TWriter(TStream& AStream) : Stream(AStream) {}

TWriter::~TWriter() = default;

void TWriter::WriteRootComponent(TComponent* ARoot) {
  WriteDescendent(ARoot, nullptr);
}

void TWriter::WriteDescendent(TComponent* ARoot, TComponent* AAncestor) {
  if (!ARoot)
    throw EWriteError(SWriteError);
  Root = LookupRoot = ARoot;
  RootAncestor = AAncestor;
  Form = TFormObject();
  WriteComponent(Form, ARoot, AAncestor);
  // The whole text is made before anything reaches the stream, so a failure
  // never leaves half a form behind.
  const std::string Text = FormObjectToText(Form);
  for (std::size_t Done = 0; Done < Text.size();) {
    const std::size_t Piece = std::min<std::size_t>(Text.size() - Done, 1 << 30);
    Stream.WriteBuffer(Text.data() + Done, static_cast<std::int32_t>(Piece));
    Done += Piece;
  }
  Root = LookupRoot = nullptr;
  RootAncestor = nullptr;
}

void TWriter::WriteComponent(TFormObject& Node, TComponent* Component,
                             TComponent* AncestorComponent) {
  // A GetChildren that lists an enclosing component would recurse forever.
  if (++Depth > MaxFormNesting) {
    --Depth;
    throw EWriteError(SNestingTooDeep);
  }
  struct TLeave {
    int& D;
    ~TLeave() { --D; }
  } Leave{Depth};
  TWritingState Writing(Component);
  Node.Inherited = AncestorComponent != nullptr;
  Node.Name = Component->GetName();
  Node.ClassName = Component->ClassName();
  WriteProperties(Node, *Component, AncestorComponent, std::string());
  if (IgnoreChildren)
    return;
  const std::vector<TComponent*> AncestorChildren = ChildrenOf(AncestorComponent, RootAncestor);
  for (TComponent* Child : ChildrenOf(Component, Root)) {
    TComponent* Match = nullptr;
    if (!Child->GetName().empty())
      for (TComponent* A : AncestorChildren)
        if (SameText(A->GetName(), Child->GetName())) {
          Match = A;
          break;
        }
    Node.Children.emplace_back();
    WriteComponent(Node.Children.back(), Child, Match);
  }
}

void TWriter::WriteProperties(TFormObject& Node, TPersistent& Instance,
                              TPersistent* AncestorInstance, const std::string& Prefix) {
  // A persistent whose properties lead back to itself would recurse forever.
  if (static_cast<int>(std::count(Prefix.begin(), Prefix.end(), '.')) >= MaxFormNesting)
    throw EWriteError(SNestingTooDeep);
  for (const TPropInfo* Info : GetPropList(Instance)) {
    if (!Info->IsStored(Instance))
      continue;
    // The ancestor's value counts only if its class has the same property.
    const TPropInfo* AncestorInfo = nullptr;
    if (AncestorInstance) {
      AncestorInfo = GetPropInfo(*AncestorInstance, Info->Name);
      if (AncestorInfo && AncestorInfo->Kind != Info->Kind)
        AncestorInfo = nullptr;
    }
    if (Info->Kind == pkPersistent || Info->Kind == pkStrings) {
      auto* Sub = dynamic_cast<TPersistent*>(std::get<TObject*>(Info->GetValue(Instance)));
      if (!Sub)
        continue;
      TPersistent* AncestorSub = AncestorInfo ? dynamic_cast<TPersistent*>(std::get<TObject*>(
                                                    AncestorInfo->GetValue(*AncestorInstance)))
                                              : nullptr;
      WriteProperties(Node, *Sub, AncestorSub, Prefix + Info->Name + ".");
      continue;
    }
    const TPropValue Value = Info->GetValue(Instance);
    if (AncestorInfo ? SameValue(*Info, Value, AncestorInfo->GetValue(*AncestorInstance))
                     : Info->IsDefaultValue(Value))
      continue;

    TFormProperty Prop;
    Prop.Name = Prefix + Info->Name;
    TFormValue& V = Prop.Value;
    switch (Info->Kind) {
    case pkInteger:
      V.Type = vaInteger;
      V.Integer = std::get<std::int64_t>(Value);
      break;
    case pkBoolean:
      V.Type = std::get<std::int64_t>(Value) ? vaTrue : vaFalse;
      break;
    case pkEnumeration:
      V.Type = vaIdent;
      V.Text = Info->EnumType->GetName(std::get<std::int64_t>(Value));
      if (V.Text.empty())
        throw EWriteError(
            Format(SWritePropertyError, {Node.Name, Prop.Name, SInvalidPropertyValue}));
      break;
    case pkSet: {
      V.Type = vaSet;
      std::uint64_t Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(Value));
      const std::vector<std::string>& Names = Info->EnumType->Names;
      for (std::size_t I = 0; I < Names.size() && I < 64; ++I)
        if (Bits & (std::uint64_t{1} << I)) {
          TFormValue Member;
          Member.Type = vaIdent;
          Member.Text = Names[I];
          V.Items.push_back(std::move(Member));
          Bits &= ~(std::uint64_t{1} << I);
        }
      if (Bits != 0) // members without a name could not be read back
        throw EWriteError(
            Format(SWritePropertyError, {Node.Name, Prop.Name, SInvalidPropertyValue}));
      break;
    }
    case pkString:
      V.Type = vaString;
      V.Text = std::get<std::string>(Value);
      break;
    case pkFloat:
      V.Type = vaExtended;
      V.Float = std::get<double>(Value);
      break;
    case pkComponent: {
      const auto* Ref = dynamic_cast<const TComponent*>(std::get<TObject*>(Value));
      if (Ref) {
        V.Type = vaIdent;
        V.Text = ReferenceName(Ref, LookupRoot);
      } else {
        V.Type = vaNil;
      }
      break;
    }
    case pkMethod:
      // Empty only when it differs from an ancestor's handler: nil clears it.
      V.Text = std::get<std::string>(Value);
      V.Type = V.Text.empty() ? vaNil : vaIdent;
      break;
    case pkPersistent:
    case pkStrings:
      break;
    }
    Node.Properties.push_back(std::move(Prop));
  }
  WriteDefinedProperties(Node, Instance, AncestorInstance, Prefix);
}

void TWriter::WriteDefinedProperties(TFormObject& Node, TPersistent& Instance,
                                     TPersistent* AncestorInstance, const std::string& Prefix) {
  TFormObject* const SavedNode = CurrentNode;
  const std::string SavedPrefix = DefinePrefix;
  TPersistent* const SavedAncestor = Ancestor;
  CurrentNode = &Node;
  DefinePrefix = Prefix;
  Ancestor = AncestorInstance;
  try {
    if (auto* C = dynamic_cast<TComponent*>(&Instance))
      DefineDesignInfo(*C, *this);
    CallDefineProperties(Instance, *this);
  } catch (...) {
    CurrentNode = SavedNode;
    DefinePrefix = SavedPrefix;
    Ancestor = SavedAncestor;
    throw;
  }
  CurrentNode = SavedNode;
  DefinePrefix = SavedPrefix;
  Ancestor = SavedAncestor;
}

std::string TWriter::ReferenceName(const TComponent* Component, const TComponent* ARoot) {
  if (Component == ARoot) {
    if (ARoot->GetName().empty())
      throw EWriteError(SNoReferenceName);
    return ARoot->GetName();
  }
  // Owner chain up to the root of this form, or up to the top of another
  // form (OtherModule.Session1).
  std::vector<const TComponent*> Chain;
  for (const TComponent* C = Component; C && C != ARoot; C = C->GetOwnerComponent())
    Chain.push_back(C);
  std::string Name;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) {
    if ((*It)->GetName().empty())
      throw EWriteError(SNoReferenceName);
    if (!Name.empty())
      Name += '.';
    Name += (*It)->GetName();
  }
  return Name;
}

bool TWriter::SameValue(const TPropInfo& Info, const TPropValue& A, const TPropValue& B) const {
  if (Info.Kind != pkComponent)
    return A == B;
  // References match when they name the same component of their own form.
  const auto* RA = dynamic_cast<const TComponent*>(std::get<TObject*>(A));
  const auto* RB = dynamic_cast<const TComponent*>(std::get<TObject*>(B));
  if (!RA || !RB)
    return RA == RB;
  try {
    return SameText(ReferenceName(RA, LookupRoot), ReferenceName(RB, RootAncestor));
  } catch (const EWriteError&) {
    return RA == RB;
  }
}

// ---- value API ---------------------------------------------------------------

TFormValue& TWriter::PutValue(TValueType Type) {
  if (!OpenLists.empty()) {
    TFormValue& Item = OpenLists.back()->Items.emplace_back();
    Item.Type = Type;
    return Item;
  }
  if (!PropValue || PropWritten)
    throw EWriteError(SWriteError);
  PropWritten = true;
  PropValue->Type = Type;
  return *PropValue;
}

void TWriter::WriteInteger(std::int64_t Value) {
  PutValue(vaInteger).Integer = Value;
}

void TWriter::WriteFloat(double Value) {
  if (!std::isfinite(Value))
    throw EWriteError(SFloatNotStorable);
  PutValue(vaExtended).Float = Value;
}

void TWriter::WriteString(std::string_view Value) {
  PutValue(vaString).Text.assign(Value);
}

void TWriter::WriteBoolean(bool Value) {
  PutValue(Value ? vaTrue : vaFalse);
}

void TWriter::WriteIdent(std::string_view Value) {
  // Only a real identifier (or a dotted reference) reads back as one.
  bool Valid = !Value.empty();
  std::size_t Start = 0;
  while (Valid) {
    const std::size_t Dot = Value.find('.', Start);
    Valid = IsValidIdent(Value.substr(Start, Dot - Start));
    if (Dot == std::string_view::npos)
      break;
    Start = Dot + 1;
  }
  if (!Valid)
    throw EWriteError(SInvalidPropertyValue);
  if (SameText(Value, "True"))
    PutValue(vaTrue);
  else if (SameText(Value, "False"))
    PutValue(vaFalse);
  else if (SameText(Value, "nil"))
    PutValue(vaNil);
  else if (SameText(Value, "Null"))
    PutValue(vaNull);
  else
    PutValue(vaIdent).Text.assign(Value);
}

void TWriter::WriteBinary(std::string_view Bytes) {
  PutValue(vaBinary).Text.assign(Bytes);
}

void TWriter::WriteListBegin() {
  TFormValue& List = PutValue(vaList);
  if (OpenLists.size() + 1 >= static_cast<std::size_t>(MaxFormNesting))
    throw EWriteError(SNestingTooDeep);
  OpenLists.push_back(&List);
}

void TWriter::WriteListEnd() {
  if (OpenLists.empty())
    throw EWriteError(SWriteError);
  OpenLists.pop_back();
}

void TWriter::DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                             const TWriterProc& WriteData, bool HasData) {
  (void)ReadData;
  if (!HasData || !WriteData || !CurrentNode)
    return;
  TFormProperty Prop;
  Prop.Name = DefinePrefix + Name;
  PropValue = &Prop.Value;
  PropWritten = false;
  OpenLists.clear();
  try {
    WriteData(*this);
  } catch (...) {
    PropValue = nullptr;
    OpenLists.clear();
    throw;
  }
  const bool Complete = PropWritten && OpenLists.empty();
  PropValue = nullptr;
  OpenLists.clear();
  // A property without a value, or with a list left open, could not be read.
  if (!Complete)
    throw EWriteError(Format(SWritePropertyError, {CurrentNode->Name, Prop.Name, SWriteError}));
  CurrentNode->Properties.push_back(std::move(Prop));
}

void TWriter::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                   const TStreamProc& WriteData, bool HasData) {
  (void)ReadData;
  if (!HasData || !WriteData || !CurrentNode)
    return;
  TMemoryStream Data;
  WriteData(Data);
  TFormProperty Prop;
  Prop.Name = DefinePrefix + Name;
  Prop.Value.Type = vaBinary;
  if (Data.GetSize() > 0)
    Prop.Value.Text.assign(static_cast<const char*>(Data.Memory()),
                           static_cast<std::size_t>(Data.GetSize()));
  CurrentNode->Properties.push_back(std::move(Prop));
}

} // namespace ztl
