// The drivers' shared messages.
#include "drivers/common/ZtlDriverConsts.h"

#include "framework/rtl/SysUtils.h"

namespace ztl {

std::string ZtlColumnMisfit(std::string_view Column, std::string_view Detail) {
  return Format(SZtlFieldDataMisfit, {Column, Detail});
}

std::string ZtlHostVariableMisfit(std::string_view Detail) {
  return Format(SZtlHostVariableMisfit, {Detail});
}

std::string ZtlRowCountMisfit(std::string_view What, std::int64_t Changed, std::string_view Table) {
  // An update or delete that finds no row lost it to someone else; an insert
  // that stores none (a trigger or rule skipped it) has no row to lose.
  if (Changed == 0 && What != "insert")
    return Format(SZtlRowToGone, {What, Table});
  return Format(SZtlRowsChanged, {What, Changed, Table});
}

} // namespace ztl
