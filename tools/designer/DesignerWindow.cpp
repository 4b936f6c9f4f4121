// ztl-designer's main window.
#include "tools/designer/DesignerWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "adapters/qt/ZtlDataSetModel.h"
#include "framework/classes/TypInfo.h"
#include "framework/db/DB.h"
#include "framework/designintf/DesignIntf.h"
#include "tools/designer/DesignerDocument.h"
#include "tools/designer/ObjectInspector.h"

namespace ztl::designer {
namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

constexpr int ComponentRole = Qt::UserRole;

TComponent* ComponentOf(const QTreeWidgetItem* Item) {
  return Item ? static_cast<TComponent*>(Item->data(0, ComponentRole).value<void*>()) : nullptr;
}

} // namespace

TDesignerWindow::TDesignerWindow(bool AInteractive)
    : Interactive(AInteractive), Doc(std::make_unique<TDesignerDocument>()) {
  setObjectName("DesignerWindow");
  Palette = new QTabWidget;
  Palette->setObjectName("ComponentPalette");
  Palette->setMaximumHeight(72);

  Tree = new QTreeWidget;
  Tree->setObjectName("ComponentTree");
  Tree->setHeaderLabel("Components");
  Tree->setContextMenuPolicy(Qt::CustomContextMenu);

  InspectorView = new TObjectInspector(*Doc);
  InspectorView->OnError = [this](const std::string& Message) { Report(Message); };

  Grid = new QTableView;
  Grid->setObjectName("DataGrid");
  Rows = new TZtlDataSetModel(this);
  Grid->setModel(Rows);
  connect(Rows, &TZtlDataSetModel::ErrorOccurred, this,
          [this](const QString& Message) { Report(Message.toStdString()); });
  // Opening or closing the dataset in the inspector changes the caption.
  connect(Rows, &QAbstractItemModel::modelReset, this, [this] { ShowGrid(); });
  connect(Rows, &QAbstractItemModel::rowsInserted, this, [this] { ShowGrid(); });
  GridCaption = new QLabel("Select an open dataset to see its rows.");
  GridCaption->setObjectName("DataGridCaption");
  auto* GridBox = new QWidget;
  auto* GridLayout = new QVBoxLayout(GridBox);
  GridLayout->setContentsMargins(0, 0, 0, 0);
  GridLayout->addWidget(GridCaption);
  GridLayout->addWidget(Grid);

  auto* Split = new QSplitter;
  Split->addWidget(Tree);
  Split->addWidget(InspectorView);
  Split->addWidget(GridBox);
  Split->setSizes({220, 360, 480});

  auto* Central = new QWidget;
  auto* Layout = new QVBoxLayout(Central);
  Layout->addWidget(Palette);
  Layout->addWidget(Split, 1);
  setCentralWidget(Central);
  BuildMenus();
  statusBar();
  resize(1100, 640);

  connect(Tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Item) {
    if (Rebuilding)
      return;
    InspectorView->Inspect(ComponentOf(Item));
    ShowGrid();
  });
  connect(Tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
    if (QTreeWidgetItem* Item = Tree->itemAt(At))
      Tree->setCurrentItem(Item);
    const QStringList VerbTexts = Verbs();
    QMenu Menu(this);
    for (int I = 0; I < VerbTexts.size(); ++I)
      Menu.addAction(VerbTexts[I], this, [this, I] { ExecuteVerb(I); });
    if (!VerbTexts.isEmpty())
      Menu.addSeparator();
    Menu.addAction("&Delete", this, [this] { DeleteSelected(); });
    Menu.exec(Tree->viewport()->mapToGlobal(At));
  });
  Doc->OnChange = [this] { Rebuild(); };
  Rebuild();
}

TDesignerWindow::~TDesignerWindow() {
  // The views hold pointers into the document's components.
  Doc->OnChange = nullptr;
  Rows->SetDataSet(nullptr);
  InspectorView->Inspect(nullptr);
}

void TDesignerWindow::BuildMenus() {
  QMenu* File = menuBar()->addMenu("&File");
  File->addAction("&New", QKeySequence::New, this, [this] {
    if (MayDiscard())
      Doc->New();
  });
  File->addAction("&Open...", QKeySequence::Open, this, [this] {
    if (!MayDiscard())
      return;
    const QString Name = QFileDialog::getOpenFileName(this, "Open form", QString(),
                                                      "Form files (*.dfm *.xfm);;All files (*)");
    if (!Name.isEmpty())
      OpenFile(Name);
  });
  File->addAction("&Save", QKeySequence::Save, this, [this] {
    QString Name = Q(Doc->GetFileName());
    if (Name.isEmpty())
      Name = QFileDialog::getSaveFileName(this, "Save form", QString(), "Form files (*.dfm)");
    if (!Name.isEmpty())
      SaveFile(Name);
  });
  File->addAction("Save &As...", QKeySequence::SaveAs, this, [this] {
    const QString Name =
        QFileDialog::getSaveFileName(this, "Save form as", Q(Doc->GetFileName()), "Form files (*.dfm)");
    if (!Name.isEmpty())
      SaveFile(Name);
  });
  File->addSeparator();
  File->addAction("&Quit", QKeySequence::Quit, this, [this] { close(); });
  QMenu* Component = menuBar()->addMenu("&Component");
  Component->addAction("&Delete", QKeySequence::Delete, this, [this] { DeleteSelected(); });
  QMenu* Help = menuBar()->addMenu("&Help");
  Help->addAction("&Packages...", this, [this] {
    QStringList Lines;
    for (const std::string& L : Packages)
      Lines << Q(L);
    QMessageBox::information(this, "Packages", Lines.isEmpty() ? "No packages loaded." : Lines.join('\n'));
  });
}

void TDesignerWindow::AddPackage(const ZtlPackageInfo& Package) {
  Packages.push_back(std::string(Package.Name) + ": " +
                     (Package.Description ? Package.Description : ""));
  if (!Package.PalettePage || !Package.PaletteComponents || !*Package.PaletteComponents)
    return;
  auto* Page = new QWidget;
  Page->setObjectName(Package.PalettePage);
  auto* Row = new QHBoxLayout(Page);
  Row->setContentsMargins(4, 2, 4, 2);
  for (const char* const* Class = Package.PaletteComponents; *Class; ++Class) {
    auto* Button = new QToolButton(Page);
    const QString ClassName = *Class;
    Button->setObjectName(ClassName);
    Button->setText(ClassName.mid(1));
    Button->setToolTip("Add a " + ClassName);
    connect(Button, &QToolButton::clicked, this, [this, ClassName] { AddComponent(ClassName); });
    Row->addWidget(Button);
  }
  Row->addStretch();
  Palette->addTab(Page, Package.PalettePage);
}

bool TDesignerWindow::OpenFile(const QString& FileName, const QString& AncestorFile) {
  try {
    InspectorView->Inspect(nullptr);
    Rows->SetDataSet(nullptr);
    Doc->Open(FileName.toStdString(), AncestorFile.toStdString());
    return true;
  } catch (const std::exception& E) {
    Report(E.what());
    Rebuild();
    return false;
  }
}

bool TDesignerWindow::SaveFile(const QString& FileName) {
  try {
    Doc->SaveAs(FileName.toStdString());
    statusBar()->showMessage("Saved " + FileName, 4000);
    return true;
  } catch (const std::exception& E) {
    Report(E.what());
    return false;
  }
}

void TDesignerWindow::Rebuild() {
  TComponent* Current = Selected();
  const auto All = Doc->Components();
  if (std::find(All.begin(), All.end(), Current) == All.end())
    Current = nullptr;
  Rebuilding = true;
  Tree->clear();
  std::function<void(QTreeWidgetItem*, TComponent*)> AddItem = [&](QTreeWidgetItem* Parent,
                                                                    TComponent* C) {
    auto* Item = Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(Tree);
    Item->setText(0, Q((C->GetName().empty() ? "(unnamed)" : C->GetName()) + ": " + C->ClassName()));
    Item->setData(0, ComponentRole, QVariant::fromValue<void*>(C));
    C->GetChildren([&](TComponent* Child) { AddItem(Item, Child); }, Doc->GetRoot());
    if (C == Current)
      Tree->setCurrentItem(Item);
  };
  AddItem(nullptr, Doc->GetRoot());
  Tree->expandAll();
  Rebuilding = false;
  if (!Current) {
    Tree->setCurrentItem(Tree->topLevelItem(0));
  } else if (InspectorView->Inspected() != Current) {
    InspectorView->Inspect(Current);
  } else {
    InspectorView->RefreshValues();
  }
  ShowGrid();
  UpdateTitle();
}

void TDesignerWindow::UpdateTitle() {
  const QString Name =
      Doc->GetFileName().empty() ? QString("(new form)") : QFileInfo(Q(Doc->GetFileName())).fileName();
  setWindowTitle(Name + (Doc->IsModified() ? " *" : "") + " - ztl-designer");
}

void TDesignerWindow::Select(TComponent* Component) {
  for (QTreeWidgetItemIterator It(Tree); *It; ++It)
    if (ComponentOf(*It) == Component) {
      Tree->setCurrentItem(*It);
      return;
    }
}

TComponent* TDesignerWindow::Selected() const { return ComponentOf(Tree->currentItem()); }

void TDesignerWindow::AddComponent(const QString& ClassName) {
  try {
    TComponent* Added = Doc->AddComponent(ClassName.toStdString());
    Select(Added);
  } catch (const std::exception& E) {
    Report(E.what());
  }
}

void TDesignerWindow::DeleteSelected() {
  TComponent* Component = Selected();
  if (!Component || Component == Doc->GetRoot())
    return;
  try {
    InspectorView->Inspect(nullptr);
    Rows->SetDataSet(nullptr);
    Doc->Delete(Component);
  } catch (const std::exception& E) {
    Report(E.what());
  }
}

QStringList TDesignerWindow::Verbs() const {
  QStringList Result;
  TComponent* Component = Selected();
  if (!Component)
    return Result;
  const auto Editor = GetComponentEditor(Component, Doc.get());
  for (int I = 0; I < Editor->GetVerbCount(); ++I)
    Result << Q(Editor->GetVerb(I));
  return Result;
}

void TDesignerWindow::ExecuteVerb(int Index) {
  TComponent* Component = Selected();
  if (!Component)
    return;
  try {
    GetComponentEditor(Component, Doc.get())->ExecuteVerb(Index);
  } catch (const std::exception& E) {
    Report(E.what());
  }
  InspectorView->RefreshValues();
}

void TDesignerWindow::ShowGrid() {
  auto* DataSet = dynamic_cast<TDataSet*>(Selected());
  if (Rows->GetDataSet() != DataSet)
    Rows->SetDataSet(DataSet);
  if (!DataSet)
    GridCaption->setText("Select a dataset to see its rows.");
  else if (!DataSet->GetActive())
    GridCaption->setText(Q(DataSet->GetName()) + " is closed: set Active to True to see its rows.");
  else
    GridCaption->setText(Q(DataSet->GetName()) + ": " + QString::number(Rows->rowCount()) +
                         (Rows->canFetchMore(QModelIndex()) ? " rows so far" : " rows"));
}

bool TDesignerWindow::MayDiscard() {
  if (!Doc->IsModified() || !Interactive)
    return true;
  const auto Answer = QMessageBox::question(
      this, "ztl-designer", "The form has unsaved changes. Save them?",
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (Answer == QMessageBox::Cancel)
    return false;
  if (Answer == QMessageBox::Discard)
    return true;
  QString Name = Q(Doc->GetFileName());
  if (Name.isEmpty())
    Name = QFileDialog::getSaveFileName(this, "Save form", QString(), "Form files (*.dfm)");
  return !Name.isEmpty() && SaveFile(Name);
}

void TDesignerWindow::closeEvent(QCloseEvent* Event) {
  if (MayDiscard())
    Event->accept();
  else
    Event->ignore();
}

void TDesignerWindow::Report(const std::string& Message) {
  Error = Message;
  statusBar()->showMessage(Q(Message));
  if (Interactive)
    QMessageBox::warning(this, "ztl-designer", Q(Message));
}

} // namespace ztl::designer
