// The object inspector.
#include "tools/designer/ObjectInspector.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "framework/classes/Strings.h"
#include "framework/classes/TypInfo.h"
#include "tools/designer/DesignerDocument.h"

namespace ztl::designer {

// Persistent values inside persistent values unfold this deep at most; a
// value that leads back to itself must not unfold forever.
static constexpr int MaxUnfold = 4;

struct TObjectInspector::TRow {
  TPersistent* Instance;
  const TPropInfo* Prop;
  std::unique_ptr<TPropertyEditor> Editor;
};

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

// The editors of the value column, made per row from what its property
// editor offers.
class TValueDelegate : public QStyledItemDelegate {
public:
  explicit TValueDelegate(TObjectInspector& AInspector)
      : QStyledItemDelegate(&AInspector), Inspector(AInspector) {}

  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem&,
                        const QModelIndex& Index) const override {
    QTreeWidgetItem* Row = Item(Index);
    if (Index.column() != 1 || !Row)
      return nullptr;
    // A committed value closes the editor as in any item view, so the next
    // click opens a fresh one on whichever row it lands.
    auto* Self = const_cast<TValueDelegate*>(this);
    const QStringList Values = Inspector.ValueList(Row);
    if (!Values.isEmpty()) {
      auto* Combo = new QComboBox(Parent);
      Combo->setObjectName("ValueList");
      Combo->addItems(Values);
      QObject::connect(Combo, &QComboBox::activated, Combo, [this, Self, Row, Combo](int) {
        Inspector.CommitText(Row, Combo->currentText());
        emit Self->closeEditor(Combo);
      });
      return Combo;
    }
    auto* Box = new QWidget(Parent);
    auto* Layout = new QHBoxLayout(Box);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    auto* Edit = new QLineEdit(Box);
    Edit->setObjectName("ValueEdit");
    Edit->setFrame(false);
    Edit->setReadOnly(IsReadOnly(Row));
    Layout->addWidget(Edit);
    QObject::connect(Edit, &QLineEdit::returnPressed, Edit, [this, Self, Row, Edit, Box] {
      if (!Edit->isReadOnly())
        Inspector.CommitText(Row, Edit->text());
      emit Self->closeEditor(Box);
    });
    if (Inspector.HasDialog(Row)) {
      auto* Ellipsis = new QToolButton(Box);
      Ellipsis->setObjectName("EllipsisButton");
      Ellipsis->setText("...");
      Layout->addWidget(Ellipsis);
      QObject::connect(Ellipsis, &QToolButton::clicked, Ellipsis,
                       [this, Row] { Inspector.RunDialog(Row); });
    }
    Box->setFocusProxy(Edit);
    return Box;
  }

  void setEditorData(QWidget* Editor, const QModelIndex& Index) const override {
    const QString Text = Index.data().toString();
    if (auto* Combo = qobject_cast<QComboBox*>(Editor))
      Combo->setCurrentIndex(std::max(0, Combo->findText(Text)));
    else if (auto* Edit = Editor->findChild<QLineEdit*>("ValueEdit"))
      Edit->setText(Text);
  }

  // Values are committed by the editors themselves (Enter, a pick, the
  // dialog), not when the editor merely loses focus.
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

private:
  QTreeWidgetItem* Item(const QModelIndex& Index) const {
    return Inspector.itemFromIndex(Index.siblingAtColumn(0));
  }
  bool IsReadOnly(QTreeWidgetItem* Row) const {
    return Row->data(1, Qt::UserRole + 1).toBool();
  }

  TObjectInspector& Inspector;
};

// The text dialog of a string list property; true on OK.
bool EditLines(QWidget* Parent, const QString& Caption, TStrings& Lines) {
  QDialog Dialog(Parent);
  Dialog.setObjectName("StringListEditor");
  Dialog.setWindowTitle(Caption);
  auto* Layout = new QVBoxLayout(&Dialog);
  auto* Text = new QPlainTextEdit(&Dialog);
  Text->setObjectName("Lines");
  QStringList Current;
  for (int I = 0; I < Lines.Count(); ++I)
    Current << Q(Lines.Strings(I));
  Text->setPlainText(Current.join('\n'));
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &Dialog);
  QObject::connect(Buttons, &QDialogButtonBox::accepted, &Dialog, &QDialog::accept);
  QObject::connect(Buttons, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);
  Layout->addWidget(Text);
  Layout->addWidget(Buttons);
  Dialog.resize(420, 300);
  if (Dialog.exec() != QDialog::Accepted)
    return false;
  Lines.BeginUpdate();
  Lines.Clear();
  const QString All = Text->toPlainText();
  if (!All.isEmpty())
    for (const QString& Line : All.split('\n'))
      Lines.Add(Line.toStdString());
  Lines.EndUpdate();
  return true;
}

} // namespace

TObjectInspector::TObjectInspector(TDesignerDocument& ADocument, QWidget* Parent)
    : QTreeWidget(Parent), Document(ADocument) {
  setObjectName("ObjectInspector");
  setColumnCount(2);
  setHeaderLabels({"Property", "Value"});
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setItemDelegate(new TValueDelegate(*this));
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
    QTreeWidgetItem* Row = itemAt(At);
    if (!Row || !CanRevert(Row))
      return;
    QMenu Menu(this);
    QAction* RevertAction = Menu.addAction("Revert to inherited");
    if (Menu.exec(viewport()->mapToGlobal(At)) == RevertAction)
      Revert(Row);
  });
}

TObjectInspector::~TObjectInspector() = default;

void TObjectInspector::Inspect(TComponent* AComponent) {
  clear();
  Rows.clear();
  Component = AComponent;
  if (Component)
    AddRows(invisibleRootItem(), *Component, QString(), 0);
}

void TObjectInspector::AddRows(QTreeWidgetItem* Parent, TPersistent& Instance,
                               const QString& PathPrefix, int Depth) {
  for (const TPropInfo* Prop : GetPropList(Instance)) {
    auto Row = std::make_unique<TRow>();
    Row->Instance = &Instance;
    Row->Prop = Prop;
    Row->Editor = GetPropertyEditor(&Document, {&Instance}, *Prop);
    auto* Item = new QTreeWidgetItem(Parent, {Q(Prop->Name)});
    Item->setData(0, Qt::UserRole, static_cast<int>(Rows.size()));
    Item->setData(0, Qt::UserRole + 2, PathPrefix + Q(Prop->Name));
    const TPropertyAttributes Attributes = Row->Editor->GetAttributes();
    Item->setData(1, Qt::UserRole + 1, Attributes.Contains(paReadOnly));
    Item->setFlags(Item->flags() | Qt::ItemIsEditable);
    Rows.push_back(std::move(Row));
    ShowValue(Item);
    if (Attributes.Contains(paSubProperties) && Prop->Kind != pkStrings && Depth < MaxUnfold) {
      const TPropValue Value = Prop->GetValue(Instance);
      if (auto* const* Object = std::get_if<TObject*>(&Value))
        if (auto* Sub = dynamic_cast<TPersistent*>(*Object))
          AddRows(Item, *Sub, PathPrefix + Q(Prop->Name) + ".", Depth + 1);
    }
  }
}

TObjectInspector::TRow* TObjectInspector::RowOf(QTreeWidgetItem* Item) const {
  if (!Item)
    return nullptr;
  bool Ok = false;
  const int Index = Item->data(0, Qt::UserRole).toInt(&Ok);
  if (!Ok || Index < 0 || Index >= static_cast<int>(Rows.size()))
    return nullptr;
  return Rows[static_cast<std::size_t>(Index)].get();
}

void TObjectInspector::ShowValue(QTreeWidgetItem* Item) {
  TRow* Row = RowOf(Item);
  if (!Row)
    return;
  try {
    Item->setText(1, Q(Row->Editor->GetValue()));
  } catch (const std::exception& E) {
    Item->setText(1, Q(std::string("(") + E.what() + ")"));
  }
}

void TObjectInspector::RefreshValues() {
  for (QTreeWidgetItemIterator It(this); *It; ++It)
    ShowValue(*It);
}

QTreeWidgetItem* TObjectInspector::FindRow(const QString& Path) const {
  for (QTreeWidgetItemIterator It(const_cast<TObjectInspector*>(this)); *It; ++It)
    if ((*It)->data(0, Qt::UserRole + 2).toString().compare(Path, Qt::CaseInsensitive) == 0)
      return *It;
  return nullptr;
}

bool TObjectInspector::CommitText(QTreeWidgetItem* Item, const QString& Text) {
  TRow* Row = RowOf(Item);
  if (!Row)
    return false;
  try {
    if (Row->Instance == Component && SameText(Row->Prop->Name, "Name"))
      Document.Rename(Component, Text.toStdString());
    else
      Row->Editor->SetValue(Text.toStdString());
  } catch (const std::exception& E) {
    Report(E.what());
    ShowValue(Item);
    return false;
  }
  RefreshValues();
  return true;
}

bool TObjectInspector::HasDialog(QTreeWidgetItem* Item) const {
  const TRow* Row = RowOf(Item);
  return Row && (Row->Editor->GetAttributes().Contains(paDialog) || Row->Prop->Kind == pkStrings);
}

QStringList TObjectInspector::ValueList(QTreeWidgetItem* Item) const {
  const TRow* Row = RowOf(Item);
  QStringList Result;
  if (!Row)
    return Result;
  if (Row->Prop->Kind == pkComponent && !Row->Prop->IsReadOnly()) {
    // A reference offers the form's components of a fitting class, and none.
    Result << QString();
    for (TComponent* C : Document.Components())
      if (C != Row->Instance && !C->GetName().empty() &&
          (!Row->Prop->AcceptsClass || Row->Prop->AcceptsClass(C)))
        Result << Q(C->GetName());
    return Result;
  }
  const TPropertyAttributes Attributes = Row->Editor->GetAttributes();
  if (!Attributes.Contains(paValueList))
    return Result;
  for (const std::string& V : Row->Editor->GetValues())
    Result << Q(V);
  if (Attributes.Contains(paSortList))
    Result.sort(Qt::CaseInsensitive);
  return Result;
}

void TObjectInspector::RunDialog(QTreeWidgetItem* Item) {
  TRow* Row = RowOf(Item);
  if (!Row)
    return;
  try {
    if (Row->Editor->GetAttributes().Contains(paDialog)) {
      Row->Editor->Edit();
    } else if (Row->Prop->Kind == pkStrings) {
      const TPropValue Value = Row->Prop->GetValue(*Row->Instance);
      auto* const* Object = std::get_if<TObject*>(&Value);
      auto* Lines = Object ? dynamic_cast<TStrings*>(*Object) : nullptr;
      if (Lines && EditLines(this, Q(Row->Prop->Name), *Lines))
        Row->Editor->Modified();
    }
  } catch (const std::exception& E) {
    Report(E.what());
  }
  RefreshValues();
}

bool TObjectInspector::CanRevert(QTreeWidgetItem* Item) const {
  const TRow* Row = RowOf(Item);
  return Row && Row->Instance == Component && !Row->Prop->IsReadOnly() &&
         Row->Editor->GetAttributes().Contains(paRevertable) &&
         Document.FindAncestorComponent(Component) != nullptr;
}

void TObjectInspector::Revert(QTreeWidgetItem* Item) {
  if (!CanRevert(Item))
    return;
  TRow* Row = RowOf(Item);
  try {
    TComponent* Ancestor = Document.FindAncestorComponent(Component);
    CommitText(Item, Q(GetPropValueText(*Ancestor, *Row->Prop)));
  } catch (const std::exception& E) {
    Report(E.what());
  }
}

void TObjectInspector::Report(const std::string& Message) {
  if (OnError)
    OnError(Message);
}

} // namespace ztl::designer
