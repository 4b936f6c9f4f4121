// ZtlDirEd: the folder chooser behind the inspector's path property editor.
#pragma once

#include <string>

#include "framework/widgets/Controls.h"
#include "framework/widgets/FileCtrls.h"

namespace ztl {

// A directory list, a drive box and a path edit kept in step: choosing a
// drive moves the list to its root, moving in the list writes the edit, and
// the edit's text (typed or written) is Path, unchecked.
class TZantrelPathDialog : public TForm {
public:
  explicit TZantrelPathDialog(TComponent* AOwner);
  ~TZantrelPathDialog() override = default;

  // The chosen directory after OK: the path edit's text.
  std::string Path;

  // Opens the list on Value. A blank Value changes nothing. A Value that is
  // not an existing directory, or whose drive does not exist, opens the root
  // of the current drive ("/" here) instead of failing.
  void SetPath(const std::string& Value);

  // The controls, owned by the form; each widget's objectName is the field's
  // name.
  TLabel* Label1;
  TLabel* Label2;
  TEdit* edPath;
  TLabel* Label3;
  TDirectoryListBox* dlDirList;
  TLabel* Label4;
  TDriveComboBox* dcDrive;
  TButton* btnOK;
  TButton* btnCancel;

  void dcDriveChange(TObject* Sender);
  void dlDirListChange(TObject* Sender);
  void edPathChange(TObject* Sender);

private:
  void CreateControls();
};

} // namespace ztl
