// The about box, its logo and the component editor's menu entry.
#include "design/ZtlAbout.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <memory>

#include "core/ZtlConsts.h"
#include "framework/classes/Streams.h"
#include "framework/graphics/Graphics.h"
#include "framework/widgets/Shell.h"

namespace ztl {
namespace {

// Ours, under the reserved example domain.
constexpr const char* SupportEmail = "support@example.com";
constexpr const char* WebAddress = "https://www.example.com/zantrelix";

constexpr int LogoWidth = 150;
constexpr int LogoHeight = 54;

} // namespace

void DrawZantrelLogo(TBitmap& Bitmap) {
  QImage Image(LogoWidth, LogoHeight, QImage::Format_RGB888);
  Image.fill(Qt::white);
  {
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);
    // A stack of three discs, the usual sign for a database, then the name.
    Painter.setPen(QPen(QColor(0, 0, 128), 1.5));
    for (int I = 2; I >= 0; --I) {
      Painter.setBrush(I == 0 ? QColor(70, 110, 200) : QColor(40, 70, 160));
      Painter.drawEllipse(QRectF(6, 8 + I * 11, 34, 14));
    }
    QFont Font = Painter.font();
    Font.setBold(true);
    Font.setPixelSize(20);
    Painter.setFont(Font);
    Painter.setPen(QColor(0, 0, 128));
    Painter.drawText(QRect(44, 6, LogoWidth - 46, 30), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(szZantrelLibraryName));
    Font.setBold(false);
    Font.setPixelSize(10);
    Painter.setFont(Font);
    Painter.setPen(QColor(90, 90, 90));
    Painter.drawText(QRect(46, 34, LogoWidth - 48, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("data access"));
  }
  // Through the bitmap's own reader, so the image is held as any loaded
  // bitmap is.
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  Image.save(&Buffer, "BMP");
  TMemoryStream Stream;
  Stream.WriteBuffer(Bytes.constData(), static_cast<std::int32_t>(Bytes.size()));
  Stream.SetPosition(0);
  Bitmap.LoadFromStream(Stream);
}

// ---- TZantrelAboutBox --------------------------------------------------------

TZantrelAboutBox::TZantrelAboutBox(TComponent* AOwner) : TForm(AOwner) {
  SetName("ZantrelAboutBox");
  SetCaption(std::string("About ") + szZantrelLibraryName);
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(362);
  SetClientHeight(245);
  CreateControls();
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
}

void TZantrelAboutBox::CreateControls() {
  const auto Place = [this](auto* Control, TControl* Parent, const char* Name, int Left, int Top,
                            int Width, int Height) {
    Control->SetName(Name);
    if (Parent)
      Control->SetParent(Parent);
    else
      Control->SetParent(this);
    Control->SetBounds(Left, Top, Width, Height);
    return Control;
  };
  const auto Label = [&](const char* Name, const char* Caption, int Left, int Top, int Width) {
    TLabel* L = Place(new TLabel(this), nullptr, Name, Left, Top, Width, 16);
    L->SetCaption(Caption);
    return L;
  };
  const auto Link = [&](TLabel* L) {
    L->SetFontColor(clNavy);
    L->SetFontStyle(TFontStyles{fsUnderline});
    L->SetCursor(crHandPoint);
  };

  Panel1 = Place(new TPanel(this), nullptr, "Panel1", 8, 8, 160, 64);
  Panel1->SetBevelOuter(bvLowered);
  Panel1->SetColor(clWhite);
  Image1 = Place(new TImage(this), Panel1, "Image1", 5, 5, 150, 54);
  TBitmap Logo;
  DrawZantrelLogo(Logo);
  Image1->SetPicture(&Logo);

  Button1 = Place(new TButton(this), nullptr, "Button1", 278, 12, 75, 25);
  Button1->SetCaption("Close");
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->SetModalResult(mrOk);

  lblDBSupport = Label("lblDBSupport", "", 176, 48, 178);
  lblDBSupport->SetWordWrap(true);
  lblDBSupport->SetBounds(176, 44, 178, 32);
  lblVersion = Label("lblVersion", "", 8, 84, 200);
  Label3 = Label("Label3", "Email support:", 8, 108, 90);
  lblEmail = Label("lblEmail", SupportEmail, 104, 108, 250);
  Link(lblEmail);
  lblEmail->OnClick = [this](TObject* Sender) { lblEmailClick(Sender); };
  Label5 = Label("Label5", "Web site:", 8, 130, 90);
  lblWeb = Label("lblWeb", WebAddress, 104, 130, 250);
  Link(lblWeb);
  lblWeb->OnClick = [this](TObject* Sender) { lblWebClick(Sender); };

  Bevel1 = Place(new TBevel(this), nullptr, "Bevel1", 8, 158, 346, 2);
  Bevel1->SetShape(bsTopLine);
  Label6 = Label("Label6", "Zantrelix is free software; see the licence that came with it.", 8,
                 168, 346);
  Label6->SetWordWrap(true);
  Label6->SetBounds(8, 168, 346, 32);
  Label4 = Label("Label4",
                 "It comes without any warranty, to the extent the law allows. Names of "
                 "database products belong to their owners.",
                 8, 204, 346);
  Label4->SetFontSize(7);
  Label4->SetWordWrap(true);
  Label4->SetBounds(8, 204, 346, 34);
}

void TZantrelAboutBox::FormShow(TObject*) {
  lblDBSupport->SetCaption("for " + SupportedDatabase);
  lblVersion->SetCaption(std::string("Version ") + szZantrelixVersion);
}

void TZantrelAboutBox::lblEmailClick(TObject*) {
  ShellOpen("mailto:" + lblEmail->GetCaption());
}

void TZantrelAboutBox::lblWebClick(TObject*) {
  ShellOpen(lblWeb->GetCaption());
}

void ShowZantrelAboutBox(const std::string& SupportedDatabase) {
  const auto Box = std::make_unique<TZantrelAboutBox>(nullptr);
  Box->SupportedDatabase = SupportedDatabase;
  Box->ShowModal();
}

// ---- TZantrelAboutComponentEditor --------------------------------------------

void TZantrelAboutComponentEditor::ExecuteVerb(int Index) {
  if (Index == 0)
    Edit();
}

std::string TZantrelAboutComponentEditor::GetVerb(int Index) const {
  if (Index != 0)
    return std::string();
  return std::string("Abo&ut ") + szZantrelLibraryName + " " + szZantrelixVersion + "...";
}

int TZantrelAboutComponentEditor::GetVerbCount() const {
  return 1;
}

} // namespace ztl
