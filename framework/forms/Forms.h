// The application's screen (the forms and data modules alive in the process)
// and TForm, the non-visual stand-in for a form.
#pragma once

#include <string>

#include "framework/classes/Classes.h"

namespace ztl {

class TDataModule;

// A form. The framework has no windows, so a form is only what the rest of
// the library sees of one: a named container that owns its components (a
// form file lists them inside it) and stands in Screen's form list from its
// construction to its destruction.
class TForm : public TComponent {
public:
  explicit TForm(TComponent* AOwner);
  // Leaves the screen before the components it owns are destroyed, so nobody
  // walking the screen meets a form that is half gone.
  ~TForm() override;

  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

  const std::string& GetCaption() const { return Caption; }
  void SetCaption(const std::string& Value) { Caption = Value; }
  int GetWidth() const { return Width; }
  void SetWidth(int Value) { Width = Value; }
  int GetHeight() const { return Height; }
  void SetHeight(int Value) { Height = Value; }

private:
  std::string Caption; // title text, kept for form files and the designer
  int Width = 0;       // designer window size, no effect at run time
  int Height = 0;
};

// The live forms and data modules of the application, each list in the
// order of construction. A TForm or TDataModule enters its list when it is
// constructed and leaves it when its destruction begins; nothing else
// changes the lists, so every pointer they hand out is to a living object.
// An index outside 0 .. Count-1 raises EListError "List index out of bounds
// (%d)".
class TScreen : public TObject {
public:
  TScreen() = default;
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  int GetFormCount() const { return Forms.Count(); }
  TForm* GetForm(int Index) const { return Forms.Get(Index); }
  int GetDataModuleCount() const { return DataModules.Count(); }
  TDataModule* GetDataModule(int Index) const { return DataModules.Get(Index); }

private:
  friend class TForm;
  friend class TDataModule;
  void AddForm(TForm* Form) { Forms.Add(Form); }
  void RemoveForm(TForm* Form) { Forms.Remove(Form); }
  void AddDataModule(TDataModule* DataModule) { DataModules.Add(DataModule); }
  void RemoveDataModule(TDataModule* DataModule) { DataModules.Remove(DataModule); }

  TTypedList<TForm> Forms;             // live forms, not owned
  TTypedList<TDataModule> DataModules; // live data modules, not owned
};

// The one screen of the process.
TScreen& Screen();

// Registers TForm and its published properties (Caption, Width, Height) with
// the class registry, so that form files can hold forms; calling it again
// does nothing.
void RegisterFormClass();

} // namespace ztl
