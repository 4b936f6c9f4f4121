// Statement and stored-procedure parameters: one parameter with its typed
// value and data buffer, and the ordered collection that a dataset owns and
// stores in form files as the binary property "Data".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ZtlFieldDefs.h"
#include "framework/classes/Classes.h"
#include "framework/classes/TypInfo.h"
#include "framework/variant/Variants.h"

namespace ztl {

class TBitmap;
class TField;
class TFiler;
class TParams;
class TStream;
class TZantrelParams;

// Logical type of a parameter: every value of TZantrelFieldTypes.
using TZantrelParamDataType = TZantrelFieldTypes;
// The blob types among them (ntMemo and ntBlob; ntBinary is not one).
using TZantrelParamBlobType = TZantrelFieldTypes;

// Direction of a parameter; stored as one byte.
enum TZantrelParamType : std::uint8_t {
  nptUnknown,
  nptInput,
  nptInputOutput,
  nptOutput,
  nptResult
};

// Largest data block one parameter record of the stored format carries.
inline constexpr std::int32_t ZtlMaxParamDataSize = 2048;

// One parameter: name, alias, logical type, direction and value.
//
// The kind of the stored Value follows DataType as the setters leave it:
// text for ntString and ntMemo, a 32-bit integer for ntInteger, a real for
// ntInt64, ntFloat and ntCurrency, a date-time for the date types, a Boolean
// for ntBoolean, and a byte string (raw bytes in a text) for ntBinary and
// ntBlob. SetAsVariant and SetText may leave other kinds (see there).
//
// A new parameter is not null and not bound and holds the integer 0 with
// DataType ntUnknown. IsNull and the stored value are independent: Clear
// makes the parameter null and resets the value to the integer 0, and a null
// parameter still renders that value in its data buffer.
//
// A parameter given a collection at construction is owned by it; destroying
// a parameter removes it from its collection first.
class TZantrelParam : public TPersistent {
public:
  explicit TZantrelParam(TZantrelParams* AParams, std::string AName = {});
  ~TZantrelParam() override;
  TZantrelParam(const TZantrelParam&) = delete;
  TZantrelParam& operator=(const TZantrelParam&) = delete;

  // The collection holding the parameter, or null; not owning.
  TZantrelParams* GetParams() const { return Params; }

  const std::string& GetName() const { return Name; }
  void SetName(std::string Value) { Name = std::move(Value); }
  const std::string& GetAlias() const { return Alias; }
  void SetAlias(std::string Value) { Alias = std::move(Value); }
  TZantrelParamDataType GetDataType() const { return DataType; }
  // Sets the type and resets the value to the integer 0; IsNull and Bound
  // stay as they are.
  void SetDataType(TZantrelParamDataType Value);
  TZantrelParamType GetParamType() const { return ParamType; }
  void SetParamType(TZantrelParamType Value) { ParamType = Value; }
  bool IsNull() const { return FIsNull; }
  void SetIsNull(bool Value) { FIsNull = Value; }
  bool GetBound() const { return Bound; }
  void SetBound(bool Value) { Bound = Value; }
  // The stored value exactly as held (GetAsVariant differs for binary types).
  const Variant& GetValue() const { return Value; }

  // Makes the parameter null: IsNull set, value the integer 0, type kept.
  void Clear();
  // Marks a value as given: Bound set, IsNull cleared. Every setter calls it.
  void InitValue();

  // Setters: each calls InitValue, sets the type named and stores the value.
  void SetAsString(const std::string& AValue);
  void SetAsMemo(const std::string& AValue);
  void SetAsBinary(const std::string& AValue); // raw bytes
  void SetAsBlob(const std::string& AValue);   // raw bytes
  void SetAsInteger(std::int32_t AValue);
  void SetAsFloat(double AValue);
  void SetAsCurrency(double AValue); // held as a real, not a scaled amount
  void SetAsBoolean(bool AValue);
  void SetAsDateTime(TDateTime AValue);
  // Keeps the date alone: the time of day is cut off.
  void SetAsDate(TDateTime AValue);
  // Keeps the time of day alone: the date becomes the date-time epoch.
  void SetAsTime(TDateTime AValue);
  // The type follows the Variant's kind: Smallint, Integer and Byte give
  // ntInteger, Int64 ntInt64, Single and Double ntFloat, Currency ntCurrency,
  // Date ntDateTime, the text kinds ntString, Boolean ntBoolean, and the value
  // is kept unchanged. A byte array gives ntBlob holding its bytes as a byte
  // string. Any other kind (Empty, Null, other arrays) makes the parameter
  // null with type ntUnknown; the value is still kept as given.
  void SetAsVariant(const Variant& AValue);
  // Converts Text to the current type (an ntUnknown parameter becomes
  // ntString first): ntInteger to a 32-bit integer, ntInt64, ntFloat and
  // ntCurrency to a real, the date types to a date-time kept whole, ntBoolean
  // to a Boolean; the text and binary types keep the text. Text that does not
  // convert leaves the integer 0 without an error, not null.
  void SetText(const std::string& Text);
  // Size bytes from Buffer as an ntBlob value (a null Buffer gives no bytes).
  void SetBlobData(const void* Buffer, std::size_t Size);
  // Marks the parameter bound, not null and of type AType, then replaces the
  // value with the whole content of Stream (read from position 0) as a byte
  // string. A read error leaves the flags and type set and the old value.
  void LoadFromStream(TStream& Stream, TZantrelParamDataType AType);
  // As LoadFromStream with the file's content; a file that cannot be opened
  // raises EFOpenError before anything changes.
  void LoadFromFile(const std::string& FileName, TZantrelParamDataType AType);

  // Getters. They convert the stored value and raise EVariantError when it
  // does not convert; only GetAsString and GetAsDateTime look at IsNull.
  //
  // GetAsString: "" when null; date types as date-time text ("" when the
  // value is no date-time); ntBoolean as the message texts "True"/"False";
  // otherwise the value's text (raw bytes for binary types).
  std::string GetAsString() const;
  std::string GetText() const { return GetAsString(); }
  std::string GetAsMemo() const;
  std::int32_t GetAsInteger() const;
  double GetAsFloat() const; // also the reader of ntInt64 and ntCurrency
  double GetAsCurrency() const { return GetAsFloat(); }
  // 0 when null; the reader of ntDate and ntTime too.
  TDateTime GetAsDateTime() const;
  bool GetAsBoolean() const;
  // GetAsByteArray for ntBinary and ntBlob, otherwise a copy of the stored
  // value (also when null: binders look at IsNull themselves).
  Variant GetAsVariant() const;
  // As GetAsVariant, into Dest, whose text buffer is reused where it can be.
  void GetAsVariant(Variant& Dest) const;
  // Null for an empty value, else a byte array with bounds 0 .. length-1.
  Variant GetAsByteArray() const;

  // The data buffer: a fixed layout per DataType (little-endian). Text
  // types: the characters and a NUL; binary types: the raw bytes; ntInteger,
  // ntDate (day number), ntTime (milliseconds): 4 bytes; ntInt64 (rounded,
  // halves to even), ntFloat, ntCurrency, ntDateTime (milliseconds since
  // 0001-01-01 minus one day, as a double): 8 bytes; ntBoolean a 16-bit
  // word; ntUnknown nothing.
  std::size_t GetDataSize() const;
  // Writes GetDataSize bytes to Buffer, which must have room for them. A value
  // that does not fit its type (an ntInt64 real beyond the 64-bit range, an
  // ntInteger beyond 32 bits) raises EVariantError, a date-time beyond the
  // day range EConvertError; nothing is written then.
  void GetData(void* Buffer) const;
  // The data buffer as bytes.
  std::string GetDataBytes() const;
  // Sets the value from a data buffer of the current DataType. Text types
  // read up to the NUL; binary types and ntUnknown take the empty text
  // (an ntUnknown parameter thereby becomes an empty ntString).
  void SetData(const void* Buffer);
  // As SetData(Buffer), reading at most Size bytes: text stops at the first
  // NUL or after Size bytes, and a fixed-size value shorter than its type
  // reads the missing high bytes as zero.
  void SetData(const void* Buffer, std::size_t Size);

  // True when the value kinds and values, Name and Alias (case-sensitive),
  // DataType, IsNull, Bound and ParamType all agree.
  bool IsEqual(const TZantrelParam* Other) const;

  // From a TZantrelParam (AssignParam), a TField (AssignField), a TStrings
  // (its text as ntMemo), a TBitmap or a TPicture holding one (the bitmap
  // file as ntBlob); anything else raises the framework's assign error and
  // changes nothing.
  void Assign(const TPersistent* Source) override;
  // Copies type, value or nullness, Bound, Name and Alias of Param, and its
  // ParamType when this parameter has none yet. A null Param, or this
  // parameter itself, changes nothing.
  void AssignParam(const TZantrelParam* Param);
  // Name and Alias become the field's name; the value is the field's value
  // (through SetAsVariant) or null; Bound is set. A null Field does nothing.
  void AssignField(const TField* Field);
  // As AssignField with AValue instead of the field's value, names untouched.
  void AssignFieldValue(const TField* Field, const Variant& AValue);

protected:
  // A TField destination receives the stored value (whatever IsNull says).
  void AssignTo(TPersistent* Dest) const override;

private:
  friend class TZantrelParams;

  void AssignBitmap(const TBitmap& Bitmap);
  // DateTimeToTimeStamp, refusing (EConvertError) every date-time whose day
  // lies outside the 32-bit day number before converting it.
  static TTimeStamp ToTimeStamp(TDateTime AValue);

  TZantrelParams* Params = nullptr;           // collection holding this parameter; not owning
  std::string Name;                           // searched case-insensitively by the collection
  std::string Alias;                          // second name (stored procedures' call text)
  TZantrelParamDataType DataType = ntUnknown; // selects the kind of Value and the buffer layout
  Variant Value{std::int32_t{0}};             // the value (see the class comment)
  bool FIsNull = false;                       // the parameter is null
  bool Bound = false;                         // a value was given (setters and assigns)
  TZantrelParamType ParamType = nptUnknown;   // direction
};

// The ordered collection of parameters that a dataset owns as its Params.
//
// The collection owns its parameters: Clear frees them last first and the
// destructor clears. Names need not be unique; index-based access goes
// through GetParam, whose rule for duplicate names every walk over the
// collection inherits. Stored in form files as one binary property "Data"
// (WriteBinaryData / ReadBinaryData).
class TZantrelParams : public TPersistent {
public:
  explicit TZantrelParams(TComponent* AOwner = nullptr);
  ~TZantrelParams() override;
  TZantrelParams(const TZantrelParams&) = delete;
  TZantrelParams& operator=(const TZantrelParams&) = delete;

  // The component owning the collection (the dataset), or null.
  // Its name path is therefore the dataset's, a full stop and the class
  // name, as the designer shows the list ("Query1.TZantrelParams").
  TComponent* GetOwner() const override { return Owner; }

  int Count() const { return static_cast<int>(Items.size()); }
  // A new parameter named AName appended to the collection, which owns it.
  TZantrelParam* CreateParam(const std::string& AName = {});
  // Appends Param (taking it out of any collection it was in first) and
  // takes ownership.
  void AddParam(TZantrelParam* Param);
  // Takes Param out of the collection; the caller then owns it. A parameter
  // not in the collection is left alone.
  void RemoveParam(TZantrelParam* Param);
  // Frees every parameter, the last first.
  void Clear();

  // The parameter named as entry Index: with unique names the Index-th
  // parameter, with a name used more than once (ignoring case) the first
  // parameter of that name for every index holding it. An index outside
  // 0 .. Count-1 raises EListError.
  TZantrelParam* GetParam(int Index) const;
  // The parameter held at entry Index itself, whatever its name; for walks
  // that must see every parameter, such as saving or passing "?" values.
  // An index outside 0 .. Count-1 raises EListError.
  TZantrelParam* GetItem(int Index) const;
  TZantrelParam* operator[](int Index) const { return GetParam(Index); }
  // The first parameter whose Name equals AName ignoring case, or null.
  TZantrelParam* FindParam(const std::string& AName) const;
  // FindParam, or EZantrelException "Host variable "%s" not found" (code 0).
  TZantrelParam* ParamByName(const std::string& AName) const;
  // The first parameter whose Alias equals AAlias ignoring case, or the same
  // exception formatted with AAlias.
  TZantrelParam* ParamByAlias(const std::string& AAlias) const;

  // Same Count and GetParam(i) pairwise IsEqual.
  bool IsEqual(const TZantrelParams* Other) const;

  // From a TZantrelParams: replaced by copies of its GetParam(i), in order;
  // assigning a collection to itself changes nothing. From the framework's
  // TParams: see Assign(const TParams&). Anything else raises the framework's
  // assign error.
  void Assign(const TPersistent* Source) override;
  // Replaced by one parameter per item: name and alias the item's name,
  // direction mapped from the item's, value and type through SetAsVariant of
  // the item's value.
  void Assign(const TParams& Source);
  // For each own parameter, the first of Source's parameters with exactly
  // the same name (case-sensitive) is assigned to it; the rest keep their
  // values.
  void AssignValues(const TZantrelParams* Source);

  // The version word that opens the current stored layout.
  static constexpr std::int32_t GetVersion() { return 0x7FFFFF01; }
  // Writes the collection at Stream's position in the current layout. Data
  // blocks longer than ZtlMaxParamDataSize bytes are cut to that size.
  void WriteBinaryData(TStream& Stream) const;
  // Replaces the collection with the one stored at Stream's position, in the
  // current layout or the older one without version word and flag bytes. A
  // stream that ends early, or a length, data size or data type that cannot
  // be right, raises EReadError "Stream read error"; the parameters read so
  // far (the last one perhaps partly) stay in the collection.
  void ReadBinaryData(TStream& Stream);

protected:
  void AssignTo(TPersistent* Dest) const override;
  // Registers the binary property "Data". It is written when the collection
  // differs from the ancestor's, or without an ancestor when it is not empty.
  void DefineProperties(TFiler* Filer) override;

private:
  friend class TZantrelParam;

  void DetachParam(TZantrelParam* Param); // drops the entry without freeing

  TComponent* Owner = nullptr;       // the dataset owning the collection, or null
  std::vector<TZantrelParam*> Items; // the parameters in order; owned
};

// Registers TZantrelParams with the class registry so that form files and the
// designer know the class; calling it again does nothing. Inline, so that
// only programs that register classes link the registry.
inline void RegisterZantrelParamsClass() {
  RegisterClass<TZantrelParams, TPersistent>();
}

} // namespace ztl
