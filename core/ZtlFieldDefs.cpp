// Column and host-variable definitions and the packed buffer layout.
#include "core/ZtlFieldDefs.h"

#include <algorithm>
#include <limits>

#include "core/ZtlErrors.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

namespace {

constexpr std::int64_t MaxLayoutSize = std::numeric_limits<std::int32_t>::max();

// Offsets and sizes are 32-bit; a layout that cannot be addressed with them
// is refused rather than wrapped around.
std::int32_t CheckedLayoutSize(std::int64_t Size) {
  if (Size > MaxLayoutSize)
    throw EZantrelException("Buffer layout exceeds 2147483647 bytes", 0);
  return static_cast<std::int32_t>(Size);
}

} // namespace

TZantrelFieldDef::TZantrelFieldDef(TZantrelFieldDefs* AOwner, std::string AName)
    : Name(std::move(AName)) {
  if (AOwner) {
    AOwner->List.push_back(this);
    Owner = AOwner;
  }
}

TZantrelFieldDef::~TZantrelFieldDef() {
  if (Owner) {
    auto& L = Owner->List;
    const auto It = std::find(L.begin(), L.end(), this);
    if (It != L.end())
      L.erase(It);
  }
}

TZantrelFieldDefs::~TZantrelFieldDefs() {
  TZantrelFieldDefs::Clear();
}

TZantrelFieldDef* TZantrelFieldDefs::AddFieldDef(const std::string& Name) {
  const std::int32_t Offset = CheckedLayoutSize(SizeUnchecked());
  auto* Def = new TZantrelFieldDef(this, Name); // the list owns it from here on
  Def->Index = GetCount() - 1;
  Def->Offset = Offset;
  return Def;
}

void TZantrelFieldDefs::Clear() {
  // Each definition takes itself out of the list as it goes.
  while (!List.empty())
    delete List.back();
}

std::int64_t TZantrelFieldDefs::SizeUnchecked() const {
  std::int64_t Total = 0;
  for (const TZantrelFieldDef* Def : List)
    Total += Def->Size;
  return Total;
}

std::int32_t TZantrelFieldDefs::Size() const {
  return CheckedLayoutSize(SizeUnchecked());
}

TZantrelFieldDef* TZantrelFieldDefs::GetItem(std::int32_t Index) const {
  if (Index < 0 || Index >= GetCount())
    return nullptr;
  return List[static_cast<std::size_t>(Index)];
}

std::int32_t TZantrelFieldDefs::IndexOf(std::string_view Name) const {
  for (std::size_t I = 0; I < List.size(); ++I)
    if (AnsiSameText(List[I]->Name, Name))
      return static_cast<std::int32_t>(I);
  return -1;
}

TZantrelFieldDef* TZantrelFieldDefs::FieldByName(std::string_view Name) const {
  return GetItem(IndexOf(Name));
}

bool TZantrelFieldDefs::AnyBlob() const {
  return std::any_of(List.begin(), List.end(),
                     [](const TZantrelFieldDef* Def) { return IsBlobFieldType(Def->FieldType); });
}

TZantrelVariableDefs::~TZantrelVariableDefs() {
  TZantrelVariableDefs::Clear();
}

void TZantrelVariableDefs::Clear() {
  TZantrelFieldDefs::Clear();
  Buffer.Release();
  BufSize = 0;
  Bound = false;
}

void TZantrelVariableDefs::ClearBuffer() {
  Buffer.Fill(0);
}

void TZantrelVariableDefs::SetBufSize(std::int32_t N) {
  Buffer.Release();
  const std::int32_t Bytes = std::max(N, 0);
  Buffer.Allocate(static_cast<std::size_t>(Bytes));
  BufSize = Bytes;
}

} // namespace ztl
