// TDataModule and the helpers that load and save whole form files.
#include "framework/forms/DataModule.h"

#include <memory>
#include <utility>

#include "framework/forms/Forms.h"
#include "framework/classes/FormFiles.h"
#include "framework/classes/TypInfo.h"
#include "framework/rtl/Application.h"

namespace ztl {

TDataModule::TDataModule(TComponent* AOwner) : TComponent(AOwner) {
  Screen().AddDataModule(this);
}

// Out of the screen before the owned components go, so a walk over the
// screen never reaches a module that is being torn down.
TDataModule::~TDataModule() {
  if (OnDestroy) {
    // A handler's exception must not escape a destructor.
    try {
      OnDestroy(this);
    } catch (...) {
      Application().HandleException(this);
    }
  }
  Screen().RemoveDataModule(this);
}

void TDataModule::DefineProperties(TFiler* Filer) {
  TComponent::DefineProperties(Filer);
  const auto* Ancestor = dynamic_cast<const TDataModule*>(Filer->GetAncestor());
  auto Size = [this, Filer](const char* Name, int TDataModule::*Member, int AncestorValue) {
    Filer->DefineProperty(
        Name,
        [this, Member](TReader& Reader) {
          const std::int64_t Value = Reader.ReadInteger();
          if (!std::in_range<int>(Value))
            throw EPropertyError(SInvalidPropertyValue);
          this->*Member = static_cast<int>(Value);
        },
        [this, Member](TWriter& Writer) { Writer.WriteInteger(this->*Member); },
        this->*Member != AncestorValue);
  };
  Size("Height", &TDataModule::Height, Ancestor ? Ancestor->Height : 0);
  Size("Width", &TDataModule::Width, Ancestor ? Ancestor->Width : 0);
}

void TDataModule::DoCreate() {
  if (Created)
    return;
  Created = true;
  if (OnCreate)
    OnCreate(this);
}

void TDataModule::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  (void)Root;
  // Components with a parent (a dataset's fields, say) are written inside
  // that parent instead; one without its parent is written here, or nothing
  // would save it.
  for (int I = 0; I < GetComponentCount(); ++I) {
    TComponent* C = GetComponent(I);
    if (!C->HasParent() || !C->GetParentComponent())
      Proc(C);
  }
}

void RegisterDataModuleClass() {
  if (FindClassInfo(typeid(TDataModule)))
    return;
  RegisterClass<TDataModule, TComponent>();
  RegisterProperty<TDataModule>("OldCreateOrder", &TDataModule::GetOldCreateOrder,
                                &TDataModule::SetOldCreateOrder)
      .SetStored(&TDataModule::IsOldCreateOrderStored);
  RegisterEvent<TDataModule, TNotifyEvent>("OnCreate", &TDataModule::OnCreate, "TNotifyEvent");
  RegisterEvent<TDataModule, TNotifyEvent>("OnDestroy", &TDataModule::OnDestroy, "TNotifyEvent");
  // The inspector edits the size; form files store it through DefineProperties.
  RegisterProperty<TDataModule>("Height", &TDataModule::GetHeight, &TDataModule::SetHeight, 0)
      .Streamed = false;
  RegisterProperty<TDataModule>("Width", &TDataModule::GetWidth, &TDataModule::SetWidth, 0)
      .Streamed = false;
}

namespace {
// A program that can make a data module can also read one from a form file:
// linking this file registers the class, with no call from the layer below.
const bool DataModuleClassRegistered = (RegisterDataModuleClass(), true);
} // namespace

namespace {
// The root's OnCreate runs once the whole form is read and every component
// has its Loaded, so the handler finds what the file holds.
TComponent* Created(TComponent* Root) {
  if (auto* Module = dynamic_cast<TDataModule*>(Root))
    Module->DoCreate();
  return Root;
}
} // namespace

TComponent* ReadComponent(TStream& Stream, TComponent* Instance) {
  TReader Reader(Stream);
  return Created(Reader.ReadRootComponent(Instance));
}

TComponent* ReadComponentResFile(const std::string& FileName, TComponent* Instance) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  return ReadComponent(Stream, Instance);
}

TComponent* StringToComponent(std::string_view Text, TComponent* Instance) {
  TStringStream Stream{std::string(Text)};
  return ReadComponent(Stream, Instance);
}

TComponent* ReadInheritedComponentFiles(const std::vector<std::string>& FileNames,
                                        TComponent* Instance) {
  std::vector<std::unique_ptr<TFileStream>> Files;
  std::vector<TStream*> Layers;
  for (const std::string& Name : FileNames) {
    Files.push_back(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite));
    Layers.push_back(Files.back().get());
  }
  TReader Reader(Layers);
  return Created(Reader.ReadRootComponent(Instance));
}

void WriteComponent(TStream& Stream, TComponent* Instance, TComponent* Ancestor) {
  TWriter Writer(Stream);
  Writer.WriteDescendent(Instance, Ancestor);
}

void WriteComponentResFile(const std::string& FileName, TComponent* Instance,
                           TComponent* Ancestor) {
  // The form is made in memory first: a component that cannot be written
  // must not cost the file that is already there.
  TMemoryStream Text;
  WriteComponent(Text, Instance, Ancestor);
  TFileStream File(FileName, fmCreate);
  Text.SaveToStream(File);
}

std::string ComponentToString(TComponent* Instance, TComponent* Ancestor) {
  TStringStream Stream;
  WriteComponent(Stream, Instance, Ancestor);
  return Stream.GetDataString();
}

} // namespace ztl
