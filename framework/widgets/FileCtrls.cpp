// The directory list and the drive box over Qt's directory access.
#include "framework/widgets/FileCtrls.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>

#include "framework/rtl/SysUtils.h"
#include "framework/widgets/Widgets_p.h"

namespace ztl {

std::vector<std::string> FileSystemRoots() {
  std::vector<std::string> Roots;
  for (const QFileInfo& Root : QDir::drives())
    Roots.push_back(FromQString(QDir::toNativeSeparators(Root.absoluteFilePath())));
  return Roots;
}

// ---- TDirectoryListBox -------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QListWidget>()) {
  auto* L = static_cast<QListWidget*>(GetWidget());
  QObject::connect(L, &QListWidget::itemActivated, L, [this](QListWidgetItem* Item) {
    try {
      SetDirectory(FromQString(Item->data(Qt::UserRole).toString()));
    } catch (...) {
      ReportHandlerException(this);
    }
  });
  Directory = FromQString(QDir::currentPath());
  Update();
}

void TDirectoryListBox::SetDirectory(const std::string& Value) {
  const QFileInfo Info(ToQString(Value));
  if (Value.empty() || !Info.isDir())
    throw EInOutError(Format(SDirectoryNotFound, {Value}));
  const std::string NewDirectory = FromQString(QDir::cleanPath(Info.absoluteFilePath()));
  const bool Changed = NewDirectory != Directory;
  Directory = NewDirectory;
  Update();
  if (Changed)
    FromCode([this] { Fire(OnChange); });
}

void TDirectoryListBox::SetDrive(char Value) {
  for (const std::string& Root : FileSystemRoots()) {
    if (!Root.empty() && Root[0] == Value) {
      if (GetDrive() != Value)
        SetDirectory(Root);
      return;
    }
  }
  throw EInOutError(Format(SDriveNotFound, {Value ? std::string(1, Value) : std::string()}));
}

void TDirectoryListBox::Update() {
  auto* L = static_cast<QListWidget*>(GetWidget());
  if (!L)
    return;
  const QSignalBlocker Block(L);
  L->clear();
  // The ancestors, each a step further in.
  QDir Walk(ToQString(Directory));
  QStringList Chain;
  do
    Chain.prepend(Walk.absolutePath());
  while (Walk.cdUp());
  int Depth = 0;
  for (const QString& Path : Chain) {
    const QString Label = Depth == 0 ? QDir::toNativeSeparators(Path) : QFileInfo(Path).fileName();
    auto* Item = new QListWidgetItem(QString(Depth * 2, QLatin1Char(' ')) + Label, L);
    Item->setData(Qt::UserRole, Path);
    ++Depth;
  }
  L->setCurrentRow(L->count() - 1);
  const QDir Current(ToQString(Directory));
  for (const QFileInfo& Sub :
       Current.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    auto* Item = new QListWidgetItem(QString(Depth * 2, QLatin1Char(' ')) + Sub.fileName(), L);
    Item->setData(Qt::UserRole, Sub.absoluteFilePath());
  }
}

// ---- TDriveComboBox ------------------------------------------------------------

TDriveComboBox::TDriveComboBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QComboBox>()) {
  auto* C = static_cast<QComboBox*>(GetWidget());
  for (const std::string& Root : FileSystemRoots())
    C->addItem(ToQString(Root));
  const std::string Current = FromQString(QDir::currentPath());
  Drive = Current.empty() ? '\0' : Current[0];
  C->setCurrentIndex(C->findText(QString(QChar(Drive)), Qt::MatchStartsWith));
  QObject::connect(C, &QComboBox::activated, C, [this, C](int Index) {
    const QString Root = C->itemText(Index);
    if (!Root.isEmpty() && Root[0].toLatin1() != Drive) {
      Drive = Root[0].toLatin1();
      Fire(OnChange);
    }
  });
}

void TDriveComboBox::SetDrive(char Value) {
  auto* C = static_cast<QComboBox*>(GetWidget());
  const int Index = C && Value ? C->findText(QString(QChar(Value)), Qt::MatchStartsWith) : -1;
  if (Index < 0)
    throw EInOutError(Format(SDriveNotFound, {Value ? std::string(1, Value) : std::string()}));
  {
    const QSignalBlocker Block(C);
    C->setCurrentIndex(Index);
  }
  if (Value != Drive) {
    Drive = Value;
    FromCode([this] { Fire(OnChange); });
  }
}

} // namespace ztl
