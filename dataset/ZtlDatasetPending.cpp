// Temporary definitions of dataset operations whose real bodies live in
// other source files still being written (editing and refresh; locate,
// lookup, key search and the index definitions). They
// keep the library linking meanwhile. Whoever implements an operation
// deletes its definition here in the same commit; the file goes once it is
// empty.
#include "dataset/ZtlDataset.h"

#include <cstring>

namespace ztl {

namespace {

[[noreturn]] void NotAvailable(const char* Operation) {
  DatabaseError(std::string(Operation) + " is not available yet");
}

} // namespace

// ---- Editing and refresh --------------------------------------------------------

void TZantrelDataset::DoBeforeEdit() {
  EditChecked = false;
  TDataSet::DoBeforeEdit();
}

void TZantrelDataset::InternalEdit() {}

void TZantrelDataset::InternalPost() {
  NotAvailable("Post");
}

void TZantrelDataset::InternalAddRecord(TRecordBuffer, bool) {
  NotAvailable("InsertRecord");
}

void TZantrelDataset::InternalDelete() {
  NotAvailable("Delete");
}

void TZantrelDataset::InternalRefresh() {
  RefreshCursor(nullptr, nullptr, bfCurrent);
}

void TZantrelDataset::InternalCancel() {
  if (Cursor && Cursor->GetBlobManager())
    Cursor->GetBlobManager()->ClearBlobs();
}

void TZantrelDataset::InternalHandleException() {
  TDataSet::InternalHandleException();
}

void TZantrelDataset::SynchronizeCursor(bool Append) {
  RefreshCursor(nullptr, nullptr, Append ? bfEOF : bfCurrent);
}

// Re-executes and goes back by position only.
void TZantrelDataset::RefreshCursor(const std::vector<TField*>*, TRecordBuffer,
                                    TBookmarkFlag Position) {
  const int Target = Position == bfCurrent ? GetRecNo() - 1 : 0;
  Cursor->AfterClose = nullptr;
  Cursor->Close();
  Cursor->AfterClose = [this](TObject* Sender) { FDoAfterClose(Sender); };
  GetCursor(true);
  switch (Position) {
  case bfCurrent:
    Cursor->MoveToFirst();
    if (AtLast)
      Cursor->MoveToLast();
    Cursor->MoveTo(Target);
    break;
  case bfBOF:
    Cursor->MoveToFirst();
    break;
  default:
    Cursor->MoveToLast();
    break;
  }
}

void TZantrelDataset::UpdateKeyFields() {
  KeyFields.clear();
}

std::string TZantrelDataset::QueryUniqueFields() {
  return {};
}

// ---- Locate, lookup and key search ------------------------------------------------

bool TZantrelDataset::Locate(const std::string&, const Variant&, TLocateOptions) {
  NotAvailable("Locate");
}

bool TZantrelDataset::LocateNext(const std::string&, const Variant&, TLocateOptions) {
  NotAvailable("LocateNext");
}

Variant TZantrelDataset::Lookup(const std::string&, const Variant&, const std::string&) {
  NotAvailable("Lookup");
}

void TZantrelDataset::SetKeyFields(const std::vector<Variant>&) {
  NotAvailable("SetKeyFields");
}

bool TZantrelDataset::FindKey(const std::vector<Variant>&) {
  NotAvailable("FindKey");
}

void TZantrelDataset::FindNearest(const std::vector<Variant>&) {
  NotAvailable("FindNearest");
}

bool TZantrelDataset::GotoKey() {
  NotAvailable("GotoKey");
}

void TZantrelDataset::GotoNearest() {
  NotAvailable("GotoNearest");
}

void TZantrelDataset::UpdateIndexFields() {
  IndexDefs->Clear();
}

bool TZantrelDataset::LocateRecord(const std::string&, const Variant&, TLocateOptions, bool, bool) {
  NotAvailable("LocateRecord");
}

bool TZantrelDataset::LocateRecordForKey(const std::vector<TField*>*, TRecordBuffer, bool, bool,
                                         bool, bool, bool, bool, bool) {
  NotAvailable("LocateRecordForKey");
}

bool TZantrelDataset::MapsToIndex(const std::vector<TField*>&) {
  return false;
}

int TZantrelDataset::CompareNulls(const std::uint8_t*, const std::uint8_t*, const TZantrelFieldDef&,
                                  bool& BothValues) {
  BothValues = false;
  return 0;
}

int TZantrelDataset::CompareStringValue(const char*, const char*, bool, int) {
  return 0;
}

int TZantrelDataset::CompareValues(const std::uint8_t*, const std::uint8_t*, int,
                                   const TZantrelFieldDef&, TFieldType, bool) {
  return 0;
}

TZantrelIndexDef::TZantrelIndexDef(TZantrelIndexDefs* AOwner, std::string AFieldName,
                                   bool ADescending)
    : Owner(AOwner), FieldName(std::move(AFieldName)), Descending(ADescending) {
  if (Owner)
    Owner->Items.push_back(this);
}

TZantrelIndexDef::~TZantrelIndexDef() {
  if (Owner)
    std::erase(Owner->Items, this);
}

TZantrelIndexDefs::TZantrelIndexDefs(TDataSet* ADataSet) : DataSet(ADataSet) {}

TZantrelIndexDefs::~TZantrelIndexDefs() {
  Clear();
}

void TZantrelIndexDefs::Add(const std::string& AFieldName, bool ADescending) {
  new TZantrelIndexDef(this, AFieldName, ADescending); // the list owns it
  if (DataSet)
    Fields.push_back(DataSet->FieldByName(AFieldName));
}

void TZantrelIndexDefs::Clear() {
  Fields.clear();
  while (!Items.empty())
    delete Items.back();
}

TZantrelIndexDef* TZantrelIndexDefs::GetItem(int Index) const {
  return Index >= 0 && Index < Count() ? Items[static_cast<std::size_t>(Index)] : nullptr;
}

} // namespace ztl
