// The ORDER BY index of an open result: its items and the dataset fields
// they name.
#include <algorithm>

#include "dataset/ZtlDataset.h"

namespace ztl {

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

// The field is looked up before the item is made, so an unknown name leaves
// Items and Fields as they were, still pairing item i with field i.
void TZantrelIndexDefs::Add(const std::string& AFieldName, bool ADescending) {
  TField* Field = DataSet ? DataSet->FieldByName(AFieldName) : nullptr;
  Fields.reserve(Fields.size() + 1);
  Items.reserve(Items.size() + 1);
  new TZantrelIndexDef(this, AFieldName, ADescending); // the list owns it
  if (Field)
    Fields.push_back(Field);
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
