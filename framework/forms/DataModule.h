// TDataModule, the non-visual container of a form file, and the helpers that
// load and save whole form files from files, streams and strings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/classes/Streams.h"
#include "framework/rtl/Events.h"

namespace ztl {

// A container for non-visual components (sessions, datasets, data sources)
// that owns everything read from its form file. Its children in the form
// file are the components it owns that have no parent component.
//
// Width and Height (with the Left and Top every component stores) are the
// designer's window for the module; OldCreateOrder is kept for form files
// that carry it. None of them has any effect at run time.
//
// A data module stands in Screen's list of data modules (framework/Forms.h)
// from its construction until its destruction begins.
class TDataModule : public TComponent {
public:
  explicit TDataModule(TComponent* AOwner);
  ~TDataModule() override;

  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

  int GetWidth() const { return Width; }
  void SetWidth(int Value) { Width = Value; }
  int GetHeight() const { return Height; }
  void SetHeight(int Value) { Height = Value; }
  bool GetOldCreateOrder() const { return OldCreateOrder; }
  void SetOldCreateOrder(bool Value) {
    OldCreateOrder = Value;
    OldCreateOrderGiven = true;
  }
  // Written back whenever it was given, even at False: the classic writers
  // always store it, and a module made in code without it stays without.
  bool IsOldCreateOrderStored() const { return OldCreateOrderGiven; }

  // Fires OnCreate once; the form-file readers call it after reading a data
  // module root, a program that builds one in code calls it itself.
  void DoCreate();

  TNotifyEvent OnCreate;  // the module and its components are ready
  TNotifyEvent OnDestroy; // the module is about to go, its components still there

protected:
  // Height and Width follow the design position in form files, where the
  // classic writers put them.
  void DefineProperties(TFiler* Filer) override;

private:
  int Width = 0; // designer window size
  int Height = 0;
  bool OldCreateOrder = false; // accepted from form files, no effect
  bool OldCreateOrderGiven = false; // set by a form file or a program
  bool Created = false;             // OnCreate has fired
};

// Registers TDataModule and its published properties (done when the program
// starts, if it links the data module; calling it again does nothing).
void RegisterDataModuleClass();

// Reads a form file into Instance, or into a new component of the form's
// class when Instance is null (the caller then owns it). Returns the root.
// A TDataModule root runs its OnCreate afterwards.
TComponent* ReadComponent(TStream& Stream, TComponent* Instance = nullptr);
TComponent* ReadComponentResFile(const std::string& FileName, TComponent* Instance = nullptr);
TComponent* StringToComponent(std::string_view Text, TComponent* Instance = nullptr);
// Reads the layers of an inherited form (the most distant ancestor's file
// first, the descendant's last) into one root.
TComponent* ReadInheritedComponentFiles(const std::vector<std::string>& FileNames,
                                        TComponent* Instance = nullptr);

// Writes Instance as a form file. With an Ancestor (the root of the form
// Instance's form inherits from), only what differs from it is written.
void WriteComponent(TStream& Stream, TComponent* Instance, TComponent* Ancestor = nullptr);
void WriteComponentResFile(const std::string& FileName, TComponent* Instance,
                           TComponent* Ancestor = nullptr);
std::string ComponentToString(TComponent* Instance, TComponent* Ancestor = nullptr);

} // namespace ztl
