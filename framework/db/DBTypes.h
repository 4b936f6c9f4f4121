// Enumerations, small value types and event types of the generic dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "framework/rtl/Events.h"
#include "framework/rtl/System.h"

namespace ztl {

class TDataSet;
class TField;
class TDataSource;
class EDatabaseError;

// Field data types, in the framework's order (stored ordinals must not move).
enum TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid
};

// Name of a field type as the framework spells it ("ftInteger" -> "Integer").
const char* FieldTypeName(TFieldType Type);

enum TDataSetState : std::uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc
};
using TDataSetStates = Set<TDataSetState>;
inline constexpr TDataSetStates dsEditModes{dsEdit, dsInsert, dsSetKey};

enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };
using TFieldKinds = Set<TFieldKind>;

enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };

enum TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

enum TResyncModeFlag : std::uint8_t { rmExact, rmCenter };
using TResyncMode = Set<TResyncModeFlag>;

enum TLocateOption : std::uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = Set<TLocateOption>;

enum TDataAction : std::uint8_t { daFail, daAbort, daRetry };

enum TBlobStreamMode : std::uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

enum TDataEvent : std::uint8_t {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl
};

enum TFieldAttribute : std::uint8_t {
  faHiddenCol,
  faReadonly,
  faRequired,
  faLink,
  faUnNamed,
  faFixed
};
using TFieldAttributes = Set<TFieldAttribute>;

enum TProviderFlag : std::uint8_t { pfInUpdate, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = Set<TProviderFlag>;

enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

enum TIndexOption : std::uint8_t {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained
};
using TIndexOptions = Set<TIndexOption>;

// One record buffer: a block the descendant allocates and lays out; the
// framework only hands it around.
using TRecordBuffer = std::uint8_t*;

// A bookmark as the application holds it; empty means "no bookmark".
using TBookmark = std::vector<std::uint8_t>;

// What travels with a data event: the field of a field change or focus
// request, and for a scroll the number of slots the window moved toward the
// end of the data (negative toward the start).
struct TDataEventInfo {
  TField* Field = nullptr; // deFieldChange, deFocusControl
  int Distance = 0;        // deDataSetScroll
};

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

} // namespace ztl
