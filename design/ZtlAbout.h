// ZtlAbout: the about box a database driver shows from its components'
// context menu, and the component editor that puts the menu entry there.
#pragma once

#include <string>

#include "framework/designintf/DesignIntf.h"
#include "framework/widgets/Controls.h"

namespace ztl {

// The about form. Whoever shows it sets SupportedDatabase first; the labels
// that depend on it are filled in when the form is shown.
class TZantrelAboutBox : public TForm {
public:
  explicit TZantrelAboutBox(TComponent* AOwner);
  ~TZantrelAboutBox() override = default;

  std::string SupportedDatabase; // "SQLite", "PostgreSQL": the driver's database

  // The controls, owned by the form; each widget's objectName is the field's
  // name.
  TPanel* Panel1;
  TImage* Image1;
  TButton* Button1;
  TLabel* lblDBSupport;
  TLabel* lblVersion;
  TLabel* Label3;
  TLabel* lblEmail;
  TLabel* Label5;
  TLabel* lblWeb;
  TBevel* Bevel1;
  TLabel* Label6;
  TLabel* Label4;

  void FormShow(TObject* Sender);
  // Hand "mailto:" and the e-mail address, or the web address, to the shell
  // (ShellOpen); whether the shell managed is not looked at.
  void lblEmailClick(TObject* Sender);
  void lblWebClick(TObject* Sender);

private:
  void CreateControls();
};

// The product logo, 150 by 54 pixels, drawn here rather than shipped.
void DrawZantrelLogo(TBitmap& Bitmap);

// Shows the about box modally for SupportedDatabase: what a driver's
// descendant of TZantrelAboutComponentEditor does in its Edit.
void ShowZantrelAboutBox(const std::string& SupportedDatabase);

// Adds "Abo&ut Zantrelix 1.91..." as the one entry of a component's context
// menu; choosing it runs Edit. This class leaves Edit to the driver's
// descendant (the inherited Edit would only run the verb again), so it is
// not to be registered on its own.
class TZantrelAboutComponentEditor : public TComponentEditor {
public:
  using TComponentEditor::TComponentEditor;
  void ExecuteVerb(int Index) override;
  std::string GetVerb(int Index) const override;
  int GetVerbCount() const override;
};

} // namespace ztl
