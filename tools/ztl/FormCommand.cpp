// ztl form: shows the component tree of a form file with the published
// properties of every component, and can write the form back.
//
//   ztl form FILE [--ancestor ANCESTOR] [--save OUT]
//
// Output: one "Name: TClass" line per component, nested two spaces per
// level, each followed by its published properties ("Prop = value", strings
// quoted as in form files, references by name or nil); a persistent value
// lists its own properties under "Prop: TClass". With --ancestor the file is
// read as a form inheriting from ANCESTOR, and --save then writes only what
// differs from it.
#include <memory>
#include <ostream>

#include "drivers/sqlite/SQLiteRegister.h"
#include "framework/forms/DataModule.h"
#include "framework/classes/FormFiles.h"
#include "framework/classes/Strings.h"
#include "framework/classes/TypInfo.h"
#include "tools/ztl/Commands.h"

namespace ztl::cli {
namespace {

std::string Quoted(const std::string& S) {
  TFormValue V;
  V.Type = vaString;
  V.Text = S;
  return FormValueToText(V);
}

void PrintProperties(std::ostream& Out, const TPersistent& Instance, int Level, int Depth) {
  const std::string Indent(static_cast<std::size_t>(Level) * 2, ' ');
  for (const TPropInfo* P : GetPropList(Instance)) {
    if (SameText(P->Name, "Name"))
      continue;
    const TPropValue Value = P->GetValue(Instance);
    switch (P->Kind) {
    case pkString:
      Out << Indent << P->Name << " = " << Quoted(std::get<std::string>(Value)) << '\n';
      break;
    case pkComponent: {
      const std::string Name = GetPropValueText(Instance, *P);
      Out << Indent << P->Name << " = "
          << (std::get<TObject*>(Value) ? (Name.empty() ? "(unnamed)" : Name) : "nil") << '\n';
      break;
    }
    case pkStrings: {
      const auto* Lines = dynamic_cast<const TStrings*>(std::get<TObject*>(Value));
      Out << Indent << P->Name << " = (";
      for (int I = 0; Lines && I < Lines->Count(); ++I)
        Out << '\n' << Indent << "  " << Quoted(Lines->Strings(I));
      Out << ")\n";
      break;
    }
    case pkMethod:
      // Every class publishes many events; only those with a handler say anything.
      if (!std::get<std::string>(Value).empty())
        Out << Indent << P->Name << " = " << std::get<std::string>(Value) << '\n';
      break;
    case pkPersistent: {
      const auto* Sub = dynamic_cast<const TPersistent*>(std::get<TObject*>(Value));
      if (!Sub) {
        Out << Indent << P->Name << " = nil\n";
        break;
      }
      Out << Indent << P->Name << ": " << Sub->ClassName() << '\n';
      // A persistent that leads back to itself must not print forever.
      if (Depth < MaxFormNesting)
        PrintProperties(Out, *Sub, Level + 1, Depth + 1);
      break;
    }
    default:
      Out << Indent << P->Name << " = " << GetPropValueText(Instance, *P) << '\n';
      break;
    }
  }
}

void PrintComponent(std::ostream& Out, TComponent* Component, TComponent* Root, int Level) {
  const std::string Indent(static_cast<std::size_t>(Level) * 2, ' ');
  Out << Indent << (Component->GetName().empty() ? "(unnamed)" : Component->GetName()) << ": "
      << Component->ClassName() << '\n';
  PrintProperties(Out, *Component, Level + 1, 0);
  Component->GetChildren([&](TComponent* Child) { PrintComponent(Out, Child, Root, Level + 1); },
                         Root);
}

} // namespace

int RunFormCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  std::string File, Ancestor, Save;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    if ((Args[I] == "--save" || Args[I] == "--ancestor") && I + 1 < Args.size()) {
      (Args[I] == "--save" ? Save : Ancestor) = Args[I + 1];
      ++I;
    } else if (File.empty() && !Args[I].empty() && Args[I][0] != '-') {
      File = Args[I];
    } else {
      Err << "ztl form: unexpected argument '" << Args[I] << "'\n"
          << "usage: ztl form FILE [--ancestor ANCESTOR] [--save OUT]\n";
      return ExitUsage;
    }
  }
  if (File.empty()) {
    Err << "usage: ztl form FILE [--ancestor ANCESTOR] [--save OUT]\n";
    return ExitUsage;
  }
  // The package's components and the embedded driver's are what our forms
  // hold; registering is idempotent.
  RegisterZantrelSQLiteClasses();

  std::unique_ptr<TComponent> Root(Ancestor.empty()
                                       ? ReadComponentResFile(File)
                                       : ReadInheritedComponentFiles({Ancestor, File}));
  if (!Save.empty()) {
    std::unique_ptr<TComponent> AncestorRoot;
    if (!Ancestor.empty())
      AncestorRoot.reset(ReadComponentResFile(Ancestor));
    WriteComponentResFile(Save, Root.get(), AncestorRoot.get());
    return ExitSuccess;
  }
  PrintComponent(Out, Root.get(), Root.get(), 0);
  return ExitSuccess;
}

} // namespace ztl::cli
