// Logical field types, column and host-variable definitions, and the packed
// buffer layout they describe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZtlBuffer.h"

namespace ztl {

// Logical type of a result column, a host variable or a parameter. ntMemo and
// ntBlob are the blob types: their data lives in a blob stream, not in the
// row buffer.
enum TZantrelFieldTypes : std::uint8_t {
  ntUnknown,
  ntString,
  ntInteger,
  ntInt64,
  ntFloat,
  ntCurrency,
  ntDate,
  ntTime,
  ntDateTime,
  ntBoolean,
  ntBinary,
  ntMemo,
  ntBlob
};

// Key role of a result column.
enum TZantrelKeyIndicator : std::uint8_t { kiRegularField, kiKeyField, kiHiddenKeyField };

inline constexpr bool IsBlobFieldType(TZantrelFieldTypes Type) {
  return Type == ntMemo || Type == ntBlob;
}

class TZantrelFieldDefs;

// One column or host variable. Its value occupies Size bytes at Offset of the
// row or bind buffer; its null indicator is number Index of the indicator
// area. Definitions are made by TZantrelFieldDefs::AddFieldDef and belong to
// the list that holds them; destroying a definition removes it from that
// list (the others keep their Index and Offset).
class TZantrelFieldDef {
public:
  // Appends the definition to AOwner's list when AOwner is given. Index and
  // Offset are left 0: AddFieldDef sets them.
  TZantrelFieldDef(TZantrelFieldDefs* AOwner, std::string AName);
  ~TZantrelFieldDef();
  TZantrelFieldDef(const TZantrelFieldDef&) = delete;
  TZantrelFieldDef& operator=(const TZantrelFieldDef&) = delete;

  TZantrelFieldDefs* GetOwner() const { return Owner; }

  std::string Name;                                   // unique among the result columns
  std::int32_t Index = 0;                             // position when added; null-indicator number
  TZantrelFieldTypes FieldType = ntUnknown;           // logical type
  std::int32_t ExtType = 0;                           // the driver's own type code
  std::int32_t Size = 0;                              // bytes of the value in the buffer
  std::int32_t Offset = 0;                            // byte offset of the value in the buffer
  std::int32_t Length = 0;                            // declared length reported by the driver
  std::int32_t Decimals = 0;                          // declared decimals reported by the driver
  bool Nulls = false;                                 // the column accepts nulls
  TZantrelKeyIndicator KeyIndicator = kiRegularField; // key role

private:
  friend class TZantrelFieldDefs;
  TZantrelFieldDefs* Owner = nullptr; // list that holds this definition, or none
};

// An ordered list of definitions that owns them. Values are packed in the
// order the definitions were added, without padding: the offset of a new
// definition is the sum of the sizes already in the list.
class TZantrelFieldDefs {
public:
  TZantrelFieldDefs() = default;
  virtual ~TZantrelFieldDefs();
  TZantrelFieldDefs(const TZantrelFieldDefs&) = delete;
  TZantrelFieldDefs& operator=(const TZantrelFieldDefs&) = delete;

  // Appends a definition named Name at the end of the packed layout, with
  // Index = its position and Size 0 until the caller sets it. Raises
  // EZantrelException when the layout would pass 2^31-1 bytes.
  TZantrelFieldDef* AddFieldDef(const std::string& Name);
  // Destroys every definition, last first.
  virtual void Clear();

  // Bytes of the whole layout: the sum of every Size (EZantrelException past
  // 2^31-1).
  std::int32_t Size() const;
  std::int32_t GetCount() const { return static_cast<std::int32_t>(List.size()); }
  // The definition at Index, or none when Index is outside 0 .. count-1.
  TZantrelFieldDef* GetItem(std::int32_t Index) const;
  // First definition whose name matches case-insensitively (AnsiCompareText),
  // as a position (-1 when none) or the definition itself (none).
  std::int32_t IndexOf(std::string_view Name) const;
  TZantrelFieldDef* FieldByName(std::string_view Name) const;
  // Some definition is of a blob type.
  bool AnyBlob() const;

  const std::vector<TZantrelFieldDef*>& GetList() const { return List; }
  auto begin() const { return List.begin(); }
  auto end() const { return List.end(); }

protected:
  friend class TZantrelFieldDef;
  std::int64_t SizeUnchecked() const;

  std::vector<TZantrelFieldDef*> List; // the definitions, owned, in order of addition
};

// The host variables of one statement: their definitions plus the bind
// buffer that holds their values in the packed layout. Bound is set by the
// driver once it has bound the variables to the statement; Clear drops the
// definitions, the buffer and Bound together, so the next use binds again.
class TZantrelVariableDefs : public TZantrelFieldDefs {
public:
  ~TZantrelVariableDefs() override;

  void Clear() override;
  // Zero-fills the buffer, if there is one.
  void ClearBuffer();
  // Replaces the buffer by a zero-filled one of N bytes (a negative N gives
  // an empty block).
  void SetBufSize(std::int32_t N);

  std::uint8_t* GetBuffer() { return Buffer.Data(); }
  const std::uint8_t* GetBuffer() const { return Buffer.Data(); }
  const TZtlBuffer& GetBufferBlock() const { return Buffer; }
  std::int32_t GetBufSize() const { return BufSize; }
  bool GetBound() const { return Bound; }
  void SetBound(bool Value) { Bound = Value; }

protected:
  TZtlBuffer Buffer;        // values of the variables, packed
  std::int32_t BufSize = 0; // bytes of Buffer
  bool Bound = false;       // the driver has bound these variables
};

} // namespace ztl
