// TReader: builds components from parsed form files, resolves references
// once the whole form is read and calls Loaded.
#include <algorithm>
#include <unordered_map>

#include "framework/classes/FormFiles.h"

namespace ztl {

namespace {

std::vector<std::string> SplitPath(const std::string& Path) {
  std::vector<std::string> Parts;
  std::size_t Start = 0;
  for (;;) {
    const std::size_t Dot = Path.find('.', Start);
    Parts.push_back(Path.substr(Start, Dot - Start));
    if (Dot == std::string::npos)
      return Parts;
    Start = Dot + 1;
  }
}

[[noreturn]] void Fail(const std::string& Msg, int Line) {
  throw EReadError(Format(SParseError, {Msg, std::int64_t{Line}}));
}

// Runs F, turning a library exception into the reader's error for one
// property of one component ("Error reading Query1.Active: ... on line 4").
template <class F>
void Guard(const TComponent* Component, const std::string& PropPath, int Line, F&& Body) {
  try {
    Body();
  } catch (const Exception& E) {
    const std::string Name = Component ? Component->GetName() : std::string();
    Fail(Format(SPropertyException, {Name, Name.empty() ? "" : ".", PropPath, E.GetMessage()}),
         Line);
  }
}

std::string ReadAll(TStream& Stream) {
  std::string Text;
  char Buffer[65536];
  for (;;) {
    const std::int32_t N = Stream.Read(Buffer, sizeof(Buffer));
    if (N <= 0)
      return Text;
    Text.append(Buffer, static_cast<std::size_t>(N));
  }
}

} // namespace

// ---- global component lookup -------------------------------------------------

namespace {
struct TGlobalFinders {
  int NextHandle = 1;
  std::vector<std::pair<int, TFindGlobalComponent>> Procs;
};
TGlobalFinders& GlobalFinders() {
  static TGlobalFinders F;
  return F;
}
} // namespace

int AddFindGlobalComponent(TFindGlobalComponent Proc) {
  TGlobalFinders& F = GlobalFinders();
  F.Procs.emplace_back(F.NextHandle, std::move(Proc));
  return F.NextHandle++;
}

void RemoveFindGlobalComponent(int Handle) {
  auto& Procs = GlobalFinders().Procs;
  Procs.erase(std::remove_if(Procs.begin(), Procs.end(),
                             [Handle](const auto& P) { return P.first == Handle; }),
              Procs.end());
}

TComponent* FindGlobalComponent(const std::string& Name) {
  for (const auto& [Handle, Proc] : GlobalFinders().Procs)
    if (TComponent* C = Proc(Name))
      return C;
  return nullptr;
}

// ---- reader state ------------------------------------------------------------

// A component reference read before the whole form was: the property path
// is kept rather than the object holding the property, because a component
// may replace its persistent sub-objects while it is being read.
struct TReader::TFixup {
  TComponent* Component;         // the component whose property refers
  std::vector<std::string> Path; // property path from Component (Params.Session)
  std::string Name;              // the reference as written
  int Line;                      // where it was written
};

// Position of the value API in the property value (a single value) or in a
// list inside it.
struct TReader::TCursor {
  const TFormValue* Items; // first value
  std::size_t Count;       // number of values
  std::size_t Index;       // next value to read
};

// Follows the components one read touches through free notification, so
// that a component destroyed while the form is read (by another component's
// setter or Loaded) silently leaves every list instead of dangling.
class TReader::TTracker : public TComponent {
public:
  TTracker() : TComponent(nullptr) {}
  ~TTracker() override {
    for (TComponent* C : Watched)
      RemoveFreeNotification(C);
  }

  void Watch(TComponent* C) {
    if (Watched.insert(C).second)
      FreeNotification(C);
  }
  bool Alive(TComponent* C) const { return Watched.count(C) != 0; }
  void AddCreated(TComponent* C) {
    Watch(C);
    Created.push_back(C);
  }
  void AddLoaded(TComponent* C) {
    Watch(C);
    if (InLoaded.insert(C).second)
      Loaded.push_back(C);
  }

  std::vector<TComponent*> Created; // made by this read, in creation order
  std::vector<TComponent*> Loaded;  // to receive Loaded, in file order

protected:
  void Notification(TComponent* C, TOperation Operation) override {
    TComponent::Notification(C, Operation);
    if (Operation != opRemove)
      return;
    Watched.erase(C);
    InLoaded.erase(C);
    Created.erase(std::remove(Created.begin(), Created.end(), C), Created.end());
    Loaded.erase(std::remove(Loaded.begin(), Loaded.end(), C), Loaded.end());
  }

private:
  std::unordered_set<TComponent*> Watched;  // components that tell us of their end
  std::unordered_set<TComponent*> InLoaded; // members of Loaded
};

// ---- TReader -----------------------------------------------------------------

TReader::TReader(TStream& Stream) {
  Forms.push_back(ParseFormText(ReadAll(Stream)));
}

TReader::TReader(const std::vector<TStream*>& Layers) {
  for (TStream* S : Layers)
    if (S)
      Forms.push_back(ParseFormText(ReadAll(*S)));
  if (Forms.empty())
    throw EReadError(SInvalidFormFile);
}

TReader::~TReader() = default;

TComponent* TReader::ReadRootComponent(TComponent* ARoot) {
  Tracker = std::make_unique<TTracker>();
  Fixups.clear();
  try {
    if (!ARoot) {
      const TFormObject& First = Forms.front();
      const TClassInfo* Info = FindClassInfo(First.ClassName);
      if (!Info || !Info->CanCreate())
        throw EClassNotFound(Format(
            SParseError, {Format(SClassNotFound, {First.ClassName}), std::int64_t{First.Line}}));
      Guard(nullptr, First.Name, First.Line, [&] { ARoot = Info->Create(nullptr); });
      Tracker->AddCreated(ARoot);
    }
    Root = LookupRoot = ARoot;
    for (const TFormObject& Form : Forms)
      ReadLayer(Form);
    ResolveFixups();
    CallLoaded();
  } catch (...) {
    // Nothing half-read stays behind: states are cleared and what this read
    // created is destroyed, the newest first, so owners outlive what they own.
    for (TComponent* C : std::vector<TComponent*>(Tracker->Loaded)) {
      C->SetReadingState(false);
      C->SetLoadingState(false);
    }
    while (!Tracker->Created.empty()) {
      TComponent* C = Tracker->Created.back();
      Tracker->Created.pop_back();
      delete C;
    }
    Tracker.reset();
    Fixups.clear();
    Root = LookupRoot = nullptr;
    throw;
  }
  Tracker.reset();
  Fixups.clear();
  return ARoot;
}

void TReader::ReadLayer(const TFormObject& Form) {
  TComponent* R = Root;
  R->SetLoadingState(true);
  R->SetReadingState(true);
  Tracker->AddLoaded(R);
  if (!Form.Name.empty() && R->GetName() != Form.Name)
    Guard(R, "Name", Form.Line, [&] { R->SetName(Form.Name); });
  for (const TFormProperty& Prop : Form.Properties)
    ReadProperty(*R, Prop, R);
  for (const TFormObject& Child : Form.Children)
    ReadObject(Child, R);
  if (Tracker->Alive(R))
    R->SetReadingState(false);
}

void TReader::ReadObject(const TFormObject& Node, TComponent* Container) {
  TComponent* Owner = Container->GetChildOwner();
  if (!Owner)
    Owner = Root;
  TComponent* C = nullptr;
  if (Node.Inherited) {
    C = Owner->FindComponent(Node.Name);
    if (!C)
      Fail(Format(SAncestorNotFound, {Node.Name}), Node.Line);
  }
  if (!C) {
    const TClassInfo* Info = FindClassInfo(Node.ClassName);
    if (!Info || !Info->CanCreate())
      throw EClassNotFound(
          Format(SParseError, {Format(SClassNotFound, {Node.ClassName}), std::int64_t{Node.Line}}));
    Guard(nullptr, Node.Name, Node.Line, [&] { C = Info->Create(Owner); });
    Tracker->AddCreated(C);
    C->SetLoadingState(true);
    C->SetReadingState(true);
    Guard(nullptr, Node.Name + ".Name", Node.Line, [&] { C->SetName(Node.Name); });
  }
  C->SetLoadingState(true);
  C->SetReadingState(true);
  Tracker->AddLoaded(C);
  // The parent is known before any property is set, so setters may rely on it.
  if (C->HasParent())
    Guard(C, "Parent", Node.Line, [&] { C->SetParentComponent(Container->GetChildParent()); });
  for (const TFormProperty& Prop : Node.Properties) {
    if (!Tracker->Alive(C))
      return;
    ReadProperty(*C, Prop, C);
  }
  for (const TFormObject& Child : Node.Children) {
    if (!Tracker->Alive(C))
      return;
    ReadObject(Child, C);
  }
  if (Tracker->Alive(C))
    C->SetReadingState(false);
}

void TReader::ReadProperty(TPersistent& Instance, const TFormProperty& Prop,
                           TComponent* Component) {
  const std::vector<std::string> Path = SplitPath(Prop.Name);
  TPersistent* Target = &Instance;
  for (std::size_t I = 0; I + 1 < Path.size(); ++I) {
    const TPropInfo* Info = GetPropInfo(*Target, Path[I]);
    if (!Info)
      Fail(Format(SUnknownProperty, {Prop.Name}), Prop.Line);
    if (Info->Kind != pkPersistent && Info->Kind != pkStrings)
      Fail(SInvalidPropertyPath, Prop.Line);
    TPersistent* Sub = nullptr;
    Guard(Component, Prop.Name, Prop.Line,
          [&] { Sub = dynamic_cast<TPersistent*>(std::get<TObject*>(Info->GetValue(*Target))); });
    if (!Sub)
      Fail(SInvalidPropertyPath, Prop.Line);
    Target = Sub;
  }
  const TPropInfo* Info = GetPropInfo(*Target, Path.back());
  if (Info && Info->Kind != pkPersistent && Info->Kind != pkStrings) {
    // nil waits with the references too, so that a later layer's nil is not
    // overtaken by an earlier layer's reference.
    if (Info->Kind == pkComponent && (Prop.Value.Type == vaIdent || Prop.Value.Type == vaNil)) {
      Fixups.push_back(TFixup{Component, Path, Prop.Value.Text, Prop.Line});
      return;
    }
    ReadPropValue(*Target, *Info, Prop.Value, Component, Prop.Name);
    return;
  }
  if (Info) // a persistent takes its value through its own properties
    Guard(Component, Prop.Name, Prop.Line, [] { throw EPropertyError(SInvalidPropertyValue); });
  if (!ReadDefinedProperty(*Target, Path.back(), Prop.Value, Component, Prop.Name))
    Fail(Format(SUnknownProperty, {Prop.Name}), Prop.Line);
}

void TReader::ReadPropValue(TPersistent& Instance, const TPropInfo& Info, const TFormValue& Value,
                            TComponent* Component, const std::string& PathName) {
  TPropValue V;
  bool Fits = true;
  switch (Info.Kind) {
  case pkInteger:
    Fits = Value.Type == vaInteger;
    V = Value.Integer;
    break;
  case pkBoolean:
    Fits = Value.Type == vaTrue || Value.Type == vaFalse;
    V = std::int64_t{Value.Type == vaTrue ? 1 : 0};
    break;
  case pkEnumeration: {
    const int Ord = Value.Type == vaIdent ? Info.EnumType->GetValue(Value.Text) : -1;
    Fits = Ord >= 0;
    V = std::int64_t{Ord};
    break;
  }
  case pkSet: {
    std::uint64_t Bits = 0;
    Fits = Value.Type == vaSet;
    for (const TFormValue& Member : Value.Items) {
      const int Ord = Info.EnumType->GetValue(Member.Text);
      if (Ord < 0 || Ord >= 64) {
        Fits = false;
        break;
      }
      Bits |= std::uint64_t{1} << Ord;
    }
    V = static_cast<std::int64_t>(Bits);
    break;
  }
  case pkString:
    Fits = Value.Type == vaString;
    V = Value.Text;
    break;
  case pkFloat:
    Fits = Value.Type == vaExtended || Value.Type == vaInteger;
    V = Value.Type == vaInteger ? static_cast<double>(Value.Integer) : Value.Float;
    break;
  case pkMethod:
    // nil clears a handler an ancestor layer named.
    Fits = Value.Type == vaIdent || Value.Type == vaNil;
    V = Value.Type == vaIdent ? Value.Text : std::string();
    break;
  case pkComponent: // references are set once the whole form is read
  case pkPersistent:
  case pkStrings:
    Fits = false;
    break;
  }
  Guard(Component, PathName, Value.Line, [&] {
    if (!Fits)
      throw EPropertyError(SInvalidPropertyValue);
    Info.SetValue(Instance, V);
  });
}

bool TReader::ReadDefinedProperty(TPersistent& Instance, const std::string& Name,
                                  const TFormValue& Value, TComponent* Component,
                                  const std::string& PathName) {
  PropName = Name;
  PropValue = &Value;
  PropFound = false;
  PropLine = Value.Line;
  Cursors.clear();
  Ancestor = nullptr;
  Guard(Component, PathName, Value.Line, [&] {
    if (auto* C = dynamic_cast<TComponent*>(&Instance))
      DefineDesignInfo(*C, *this);
    if (!PropFound)
      CallDefineProperties(Instance, *this);
  });
  const bool Found = PropFound;
  PropName.clear();
  PropValue = nullptr;
  PropFound = false;
  PropLine = 0;
  Cursors.clear();
  return Found;
}

// A definition without a reader still takes the property, so that its value
// is consumed rather than reported as unknown.
bool TReader::ClaimProperty(const std::string& Name, bool CanRead) {
  if (PropFound || !PropValue || !SameText(Name, PropName))
    return false;
  PropFound = true;
  return CanRead;
}

void TReader::DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                             const TWriterProc& WriteData, bool HasData) {
  (void)WriteData;
  (void)HasData;
  if (!ClaimProperty(Name, static_cast<bool>(ReadData)))
    return;
  Cursors.assign(1, TCursor{PropValue, 1, 0});
  ReadData(*this);
  Cursors.clear();
}

void TReader::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                   const TStreamProc& WriteData, bool HasData) {
  (void)WriteData;
  (void)HasData;
  if (!ClaimProperty(Name, static_cast<bool>(ReadData)))
    return;
  if (PropValue->Type != vaBinary || PropValue->Text.size() > static_cast<std::size_t>(INT32_MAX))
    ValueError();
  TMemoryStream Data;
  Data.WriteBuffer(PropValue->Text.data(), static_cast<std::int32_t>(PropValue->Text.size()));
  Data.SetPosition(0);
  ReadData(Data);
}

void TReader::ResolveFixups() {
  // One pass over the root's components instead of a search per reference.
  std::unordered_map<std::string, TComponent*> Names;
  for (int I = 0; I < Root->GetComponentCount(); ++I) {
    TComponent* C = Root->GetComponent(I);
    if (!C->GetName().empty())
      Names.emplace(UpperCase(C->GetName()), C);
  }
  auto Resolve = [&](const std::string& Ref) -> TComponent* {
    const std::vector<std::string> Parts = SplitPath(Ref);
    TComponent* C = nullptr;
    if (SameText(Parts[0], Root->GetName()))
      C = Root;
    else if (auto It = Names.find(UpperCase(Parts[0])); It != Names.end())
      C = It->second;
    else
      C = FindGlobalComponent(Parts[0]);
    for (std::size_t I = 1; C && I < Parts.size(); ++I)
      C = C->FindComponent(Parts[I]);
    return C;
  };
  for (const TFixup& F : Fixups) {
    if (!Tracker->Alive(F.Component))
      continue;
    TComponent* Target = F.Name.empty() ? nullptr : Resolve(F.Name);
    if (!Target && !F.Name.empty())
      Fail(Format(SUnresolvedReference, {F.Name}), F.Line);
    std::string PathName = F.Path[0];
    for (std::size_t I = 1; I < F.Path.size(); ++I)
      PathName += "." + F.Path[I];
    Guard(F.Component, PathName, F.Line, [&] {
      TPersistent* Instance = F.Component;
      for (std::size_t I = 0; Instance && I + 1 < F.Path.size(); ++I) {
        const TPropInfo* Info = GetPropInfo(*Instance, F.Path[I]);
        Instance = Info ? dynamic_cast<TPersistent*>(std::get<TObject*>(Info->GetValue(*Instance)))
                        : nullptr;
      }
      const TPropInfo* Info = Instance ? GetPropInfo(*Instance, F.Path.back()) : nullptr;
      if (!Info || Info->Kind != pkComponent)
        throw EPropertyError(SInvalidPropertyPath);
      Info->SetValue(*Instance, static_cast<TObject*>(Target));
    });
  }
}

void TReader::CallLoaded() {
  // Every component gets its Loaded even when an earlier one fails; the
  // first failure is raised afterwards.
  std::exception_ptr First;
  const std::vector<TComponent*> Order = Tracker->Loaded;
  for (TComponent* C : Order) {
    if (!Tracker->Alive(C))
      continue;
    try {
      C->Loaded();
    } catch (...) {
      if (!First)
        First = std::current_exception();
    }
    if (Tracker->Alive(C)) {
      C->SetReadingState(false);
      C->SetLoadingState(false);
    }
  }
  if (First)
    std::rethrow_exception(First);
}

// ---- value API ---------------------------------------------------------------

void TReader::ValueError() const {
  throw EReadError(SInvalidPropertyValue);
}

const TFormValue& TReader::TakeValue() {
  if (Cursors.empty() || Cursors.back().Index >= Cursors.back().Count)
    ValueError();
  TCursor& Top = Cursors.back();
  return Top.Items[Top.Index++];
}

TValueType TReader::NextValue() const {
  if (Cursors.empty() || Cursors.back().Index >= Cursors.back().Count)
    return vaNull;
  const TCursor& Top = Cursors.back();
  return Top.Items[Top.Index].Type;
}

std::int64_t TReader::ReadInteger() {
  const TFormValue& V = TakeValue();
  if (V.Type != vaInteger)
    ValueError();
  return V.Integer;
}

double TReader::ReadFloat() {
  const TFormValue& V = TakeValue();
  if (V.Type == vaInteger)
    return static_cast<double>(V.Integer);
  if (V.Type != vaExtended)
    ValueError();
  return V.Float;
}

std::string TReader::ReadString() {
  const TFormValue& V = TakeValue();
  if (V.Type != vaString)
    ValueError();
  return V.Text;
}

bool TReader::ReadBoolean() {
  const TFormValue& V = TakeValue();
  if (V.Type != vaTrue && V.Type != vaFalse)
    ValueError();
  return V.Type == vaTrue;
}

std::string TReader::ReadIdent() {
  const TFormValue& V = TakeValue();
  switch (V.Type) {
  case vaIdent:
    return V.Text;
  case vaTrue:
    return "True";
  case vaFalse:
    return "False";
  case vaNil:
    return "nil";
  case vaNull:
    return "Null";
  default:
    ValueError();
  }
}

std::string TReader::ReadBinary() {
  const TFormValue& V = TakeValue();
  if (V.Type != vaBinary)
    ValueError();
  return V.Text;
}

void TReader::ReadListBegin() {
  const TFormValue& V = TakeValue();
  if (V.Type != vaList)
    ValueError();
  Cursors.push_back(TCursor{V.Items.data(), V.Items.size(), 0});
}

bool TReader::EndOfList() const {
  return Cursors.empty() || Cursors.back().Index >= Cursors.back().Count;
}

void TReader::ReadListEnd() {
  if (Cursors.size() < 2 || !EndOfList())
    ValueError();
  Cursors.pop_back();
}

void TReader::SkipValue() {
  TakeValue();
}

int TReader::GetCurrentLine() const {
  if (!Cursors.empty() && Cursors.back().Index < Cursors.back().Count)
    return Cursors.back().Items[Cursors.back().Index].Line;
  return PropLine;
}

} // namespace ztl
