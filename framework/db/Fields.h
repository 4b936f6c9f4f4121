// Field definitions, fields and the field classes of every supported type,
// with the data formats in which fields and datasets exchange values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/db/DBTypes.h"
#include "framework/variant/DateUtils.h"
#include "framework/variant/Variants.h"

namespace ztl {

class TFieldDefs;
class TStream;

// ---- Field definitions ------------------------------------------------------

// The description of one physical field of a dataset's records: what a
// descendant reports about its cursor. FieldNo is the 1-based position.
class TFieldDef : public TPersistent {
public:
  TFieldDef(TFieldDefs* AOwner, std::string AName, TFieldType ADataType, std::size_t ASize,
            bool ARequired, int AFieldNo);

  TFieldDefs* Collection() const { return FOwner; }
  bool Required() const { return Attributes.Contains(faRequired); }
  void SetRequired(bool Value);

  // Creates the field class that fits DataType, named and sized after this
  // definition and attached to the collection's dataset. Owner owns it (the
  // caller when null). Returns null for a type that has no field class.
  TField* CreateField(TComponent* Owner);

  void Assign(const TPersistent* Source) override;

  std::string Name;            // field name as the cursor reports it
  TFieldType DataType;         // type of the field
  std::size_t Size;            // type-dependent size (characters, bytes)
  int FieldNo;                 // 1-based position in the record
  int Precision = 0;           // digits of numeric types; 0 when unknown
  TFieldAttributes Attributes; // hidden, read-only, required, ...

private:
  TFieldDefs* FOwner; // owning collection, or null
};

// The field definitions of one dataset, in record order. Names are unique
// ignoring case (Windows-1252 folding).
class TFieldDefs : public TPersistent {
public:
  explicit TFieldDefs(TDataSet* ADataSet = nullptr);
  ~TFieldDefs() override;
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  // Appends a definition with FieldNo = its position + 1. Raises
  // EDatabaseError with SDuplicateFieldName when the name is taken.
  TFieldDef& Add(const std::string& Name, TFieldType DataType, std::size_t Size = 0,
                 bool Required = false);
  // Appends an unnamed definition of ftUnknown for the caller to fill in.
  TFieldDef& AddFieldDef();
  void Clear();
  int Count() const { return static_cast<int>(Items.size()); }
  // Raises EListError outside 0 .. Count-1.
  TFieldDef& operator[](int Index) const;
  int IndexOf(const std::string& Name) const; // -1 when absent
  // Raises EDatabaseError with SFieldNotFound when absent.
  TFieldDef& Find(const std::string& Name) const;

  TDataSet* DataSet() const { return FDataSet; }
  // Fills the definitions from the dataset unless they are up to date.
  void Update();
  bool Updated = false; // definitions reflect the dataset's cursor

  void Assign(const TPersistent* Source) override;

private:
  TDataSet* FDataSet;                            // the dataset described; not owned
  std::vector<std::unique_ptr<TFieldDef>> Items; // in record order
};

// ---- Fields -----------------------------------------------------------------

// One field of a dataset: the application's view of a value of the current
// record.
//
// A field reads and writes its value through its dataset's GetFieldData and
// SetFieldData in the field data format of its class (see FieldTypes); the
// As... accessors convert between that format and C++ values. A conversion the
// class does not offer raises SFieldAccessError; text that does not parse
// raises the matching SInvalid...Value; a value outside the type's range
// raises SFieldRangeError. A null field reads as Null, "", 0, 0.0, false and
// the date-time 0.
//
// A field belongs to at most one dataset; while attached, its dataset lists it
// in Fields(). Destroying a field detaches it; destroying the dataset
// detaches (or, for fields it created itself, destroys) its fields, so a
// pointer from FieldByName never dangles while the field exists.
class TField : public TComponent {
public:
  explicit TField(TComponent* AOwner = nullptr);
  ~TField() override;

  // Identity and layout.
  const std::string& FieldName() const { return FFieldName; }
  // Raises SDuplicateFieldName when another field of the dataset has the name.
  void SetFieldName(const std::string& Value);
  const std::string& DisplayLabel() const { return FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value);
  const std::string& DisplayName() const {
    return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
  }
  int FieldNo() const { return FFieldNo; } // data fields: 1-based; others -1; unbound 0
  int Index() const;                       // position in the dataset's Fields, -1 when detached
  void SetIndex(int Value);
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  bool Lookup() const { return FFieldKind == fkLookup; }
  TFieldType DataType() const { return FDataType; }
  std::size_t Size() const { return FSize; }
  virtual void SetSize(std::size_t Value);
  // Bytes of the field data format (see the class); 0 for blob fields.
  virtual std::size_t DataSize() const { return 0; }
  // Offset of the has-value byte in the calculated-fields area.
  std::size_t Offset() const { return FOffset; }
  virtual bool IsBlob() const { return false; }

  // Behaviour.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool Required() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);

  // Presentation, kept for the controls and the designer: none of it changes
  // the value. DisplayWidth is the width controls give the field in
  // characters: the one set, or DefaultDisplayWidth while none is (0).
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  int DisplayWidth() const { return FDisplayWidth > 0 ? FDisplayWidth : DefaultDisplayWidth(); }
  void SetDisplayWidth(int Value);
  bool IsDisplayWidthStored() const { return FDisplayWidth > 0; }
  const std::string& EditMask() const { return FEditMask; }
  void SetEditMask(const std::string& Value) { FEditMask = Value; }
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value);
  // Not read-only, a data field bound to a definition, and the dataset can be modified.
  bool CanModify() const;
  TProviderFlags ProviderFlags{pfInUpdate, pfInWhere};

  TDataSet* DataSet() const { return FDataSet; }
  // Moves the field to another dataset (or none). Both datasets must be
  // inactive (SDataSetOpen); the name must be free in the new one.
  void SetDataSet(TDataSet* ADataSet);

  // Lookup fields: the value of LookupResultField in LookupDataSet's record
  // whose LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet() const { return FLookupDataSet; }
  void SetLookupDataSet(TDataSet* Value);
  std::string KeyFields;
  std::string LookupKeyFields;
  std::string LookupResultField;

  // Raw access in the field data format. GetData returns whether the field
  // has a value and, when Buffer is given, copies DataSize bytes into it.
  // SetData writes DataSize bytes from Buffer; a null Buffer makes the field
  // null. Both raise SDataSetMissing without a dataset.
  bool GetData(void* Buffer) const;
  void SetData(const void* Buffer);
  bool IsNull() const { return !GetData(nullptr); }
  virtual void Clear() { SetData(nullptr); }
  // Runs OnValidate while this field's getters read the candidate Buffer
  // (null: the candidate is null) instead of the record. Datasets call it
  // from SetFieldData before they store a value; an exception vetoes it.
  void Validate(const void* Buffer);

  // Values. Setting Null or Empty clears the field.
  Variant Value() const { return GetAsVariant(); }
  void SetValue(const Variant& V) { SetAsVariant(V); }
  Variant AsVariant() const { return GetAsVariant(); }
  void AssignValue(const Variant& V) { SetAsVariant(V); }
  std::string AsString() const { return GetAsString(); }
  std::int32_t AsInteger() const { return GetAsInteger(); }
  std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
  double AsFloat() const { return GetAsFloat(); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  bool AsBoolean() const { return GetAsBoolean(); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }

  virtual Variant GetAsVariant() const;
  void SetAsVariant(const Variant& V);
  virtual std::string GetAsString() const;
  virtual void SetAsString(const std::string& Value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t Value);
  virtual std::int64_t GetAsLargeInt() const { return GetAsInteger(); }
  virtual void SetAsLargeInt(std::int64_t Value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual Currency GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }
  virtual void SetAsCurrency(Currency Value) { SetAsFloat(Value.ToDouble()); }
  virtual bool GetAsBoolean() const;
  virtual void SetAsBoolean(bool Value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTime(TDateTime Value);

  // The value in the dataset's old, new or current-on-server state.
  Variant OldValue() const;
  Variant NewValue() const;
  Variant CurValue() const;

  // Asks the controls that show this field to take the focus.
  void FocusControl();

  // Copies the value of another field (null included).
  void Assign(const TPersistent* Source) override;

  TFieldNotifyEvent OnChange;   // after the value changed
  TFieldNotifyEvent OnValidate; // before a value is stored; may veto by raising

protected:
  // Stores a non-clear Variant; each class converts it to its format.
  virtual void SetVarValue(const Variant& V);
  [[noreturn]] void AccessError(const char* TypeName) const;
  virtual int DefaultDisplayWidth() const { return 10; }
  // Form files: the older Calculated and Lookup flags, written after the
  // published properties as the classic writers place them.
  void DefineProperties(TFiler* Filer) override;
  // A persistent field is written inside its dataset's object and read back
  // into it (its owner stays the form).
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* Value) override;
  [[noreturn]] void RangeError(const std::string& Value, const std::string& Min,
                               const std::string& Max) const;
  [[noreturn]] void InvalidValue(const char* Msg, const std::string& Value) const;
  // Raises SDataSetOpen when the field's dataset is open.
  void CheckInactive() const;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TFieldType FDataType = ftUnknown; // set by each class's constructor
  std::size_t FSize = 0;            // type-dependent size

private:
  friend class TDataSet;
  friend class TFields;

  // Called by the dataset when it sends deFieldChange for this field.
  void Change();
  // Presentation changed: controls of an open dataset lay out again.
  void LayoutChanged();

  TDataSet* FDataSet = nullptr;       // the dataset listing this field; not owned
  TDataSet* FLookupDataSet = nullptr; // source of lookup values; free-notified
  std::string FFieldName;
  std::string FDisplayLabel;
  TFieldKind FFieldKind = fkData;
  int FFieldNo = 0;        // bound definition number (see FieldNo)
  std::size_t FOffset = 0; // position in the calculated-fields area
  bool FReadOnly = false;
  bool FRequired = false;
  bool FVisible = true;
  TAlignment FAlignment = taLeftJustify;
  int FDisplayWidth = 0; // set width; 0: DefaultDisplayWidth
  std::string FEditMask;
  std::string FDisplayFormat;
  bool FValidating = false;              // getters read FValidateBuffer
  const void* FValidateBuffer = nullptr; // candidate value during Validate
};

// The fields of one dataset, in order. Does not own them.
class TFields {
public:
  explicit TFields(TDataSet* ADataSet) : FDataSet(ADataSet) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(List.size()); }
  // Raises EDatabaseError with SFieldIndexError outside 0 .. Count-1.
  TField* operator[](int Index) const;
  // First field named Name ignoring case (Windows-1252 folding), else null.
  TField* FindField(const std::string& Name) const;
  // As FindField; raises SFieldNotFound (prefixed by the dataset's name).
  TField* FieldByName(const std::string& Name) const;
  // The data field bound to definition FieldNo, else null.
  TField* FieldByNumber(int FieldNo) const;
  int IndexOf(const TField* Field) const;
  TDataSet* DataSet() const { return FDataSet; }

  auto begin() const { return List.begin(); }
  auto end() const { return List.end(); }

private:
  friend class TField;
  friend class TDataSet;
  void Add(TField* Field);
  void Remove(TField* Field);
  void Move(TField* Field, int NewIndex);

  TDataSet* FDataSet;        // the owner of this list; not owned
  std::vector<TField*> List; // attached fields, in order
};

// ---- Field classes ------------------------------------------------------------

// Text of up to Size characters: Size bytes then a NUL (DataSize Size + 1).
// With Transliterate (default) the dataset's Translate converts the bytes
// after reading and before writing. Longer texts are cut to Size.
class TStringField : public TField {
public:
  explicit TStringField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return FSize + 1; }
  bool Transliterate = true;

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;

protected:
  int DefaultDisplayWidth() const override { return static_cast<int>(FSize); }
  void SetVarValue(const Variant& V) override;
  // Reads the text; false when the field is null.
  bool GetValue(std::string& Value) const;
};

// Text of up to Size UTF-16 code units, then a 0 unit (DataSize (Size + 1) * 2).
// Values convert to and from Windows-1252; characters it lacks read as '?'.
class TWideStringField : public TStringField {
public:
  explicit TWideStringField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return (FSize + 1) * 2; }
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  Variant GetAsVariant() const override;
};

// Common ground of the numeric classes.
// Numbers are right-aligned unless told otherwise.
class TNumericField : public TField {
public:
  explicit TNumericField(TComponent* AOwner = nullptr) : TField(AOwner) {
    SetAlignment(taRightJustify);
  }
};

// int32 (4 bytes). MinValue/MaxValue narrow the range when either is not 0.
class TIntegerField : public TNumericField {
public:
  explicit TIntegerField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 4; }
  std::int64_t MinValue = 0;
  std::int64_t MaxValue = 0;

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;

protected:
  void SetVarValue(const Variant& V) override;
  // Reads the stored number widened to 64 bits; false when null.
  virtual bool GetValue(std::int64_t& Value) const;
  // Range-checks and stores.
  virtual void StoreValue(std::int64_t Value);
  // Raises SFieldRangeError when Value lies outside the storage type's range
  // narrowed by MinValue/MaxValue.
  void CheckRange(std::int64_t Value) const;
  std::int64_t FMinRange; // the storage type's smallest value
  std::int64_t FMaxRange; // the storage type's largest value
};

// int16 (2 bytes).
class TSmallintField : public TIntegerField {
public:
  explicit TSmallintField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 2; }

protected:
  bool GetValue(std::int64_t& Value) const override;
  void StoreValue(std::int64_t Value) override;
};

// uint16 (2 bytes).
class TWordField : public TIntegerField {
public:
  explicit TWordField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 2; }

protected:
  bool GetValue(std::int64_t& Value) const override;
  void StoreValue(std::int64_t Value) override;
};

// int32 (4 bytes) numbered by the database.
class TAutoIncField : public TIntegerField {
public:
  explicit TAutoIncField(TComponent* AOwner = nullptr);
};

// int64 (8 bytes).
class TLargeintField : public TNumericField {
public:
  explicit TLargeintField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 8; }
  std::int64_t MinValue = 0;
  std::int64_t MaxValue = 0;

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;

protected:
  void SetVarValue(const Variant& V) override;
};

// IEEE double (8 bytes). MinValue/MaxValue narrow the range when either is not 0.
class TFloatField : public TNumericField {
public:
  explicit TFloatField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 8; }
  double MinValue = 0;
  double MaxValue = 0;
  int Precision = 15; // significant digits shown

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;

protected:
  void SetVarValue(const Variant& V) override;
};

// A money amount held as an unscaled IEEE double (8 bytes).
class TCurrencyField : public TFloatField {
public:
  explicit TCurrencyField(TComponent* AOwner = nullptr);
};

// A decimal number held as an IEEE double (8 bytes); Size is the scale.
class TBCDField : public TFloatField {
public:
  explicit TBCDField(TComponent* AOwner = nullptr);
};

// int16 word bool (2 bytes): writes 1 or 0, reads any nonzero as true.
class TBooleanField : public TField {
public:
  explicit TBooleanField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 2; }

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;

protected:
  void SetVarValue(const Variant& V) override;
};

// A moment as a double: day number (0001-01-01 = 1) x 86 400 000 + milliseconds.
class TDateTimeField : public TField {
public:
  explicit TDateTimeField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 8; }

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;

protected:
  void SetVarValue(const Variant& V) override;
  // Reads the value as a date-time; false when null.
  virtual bool GetValue(TDateTime& Value) const;
  virtual void StoreValue(TDateTime Value);
  // The value as text, as this class shows it.
  virtual std::string FormatValue(TDateTime Value) const;
};

// A day: int32 day number, 0001-01-01 = day 1 (4 bytes).
class TDateField : public TDateTimeField {
public:
  explicit TDateField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 4; }

protected:
  bool GetValue(TDateTime& Value) const override;
  void StoreValue(TDateTime Value) override;
  std::string FormatValue(TDateTime Value) const override;
};

// A time of day: int32 milliseconds since midnight (4 bytes).
class TTimeField : public TDateTimeField {
public:
  explicit TTimeField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return 4; }

protected:
  bool GetValue(TDateTime& Value) const override;
  void StoreValue(TDateTime Value) override;
  std::string FormatValue(TDateTime Value) const override;
};

// Common ground of the fixed and variable binary classes.
class TBinaryField : public TField {
public:
  explicit TBinaryField(TComponent* AOwner = nullptr);

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;

protected:
  void SetVarValue(const Variant& V) override;
  // Reads the bytes; false when null.
  virtual bool GetBytes(std::vector<std::uint8_t>& Value) const = 0;
  // Stores Len bytes (cut to Size).
  virtual void StoreBytes(const std::uint8_t* Data, std::size_t Len) = 0;
};

// Size raw bytes; shorter values are zero-padded.
class TBytesField : public TBinaryField {
public:
  explicit TBytesField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return FSize; }

protected:
  bool GetBytes(std::vector<std::uint8_t>& Value) const override;
  void StoreBytes(const std::uint8_t* Data, std::size_t Len) override;
};

// uint16 length, then that many bytes with room for Size (DataSize Size + 2).
class TVarBytesField : public TBytesField {
public:
  explicit TVarBytesField(TComponent* AOwner = nullptr);
  std::size_t DataSize() const override { return FSize + 2; }
  // Sizes beyond what the uint16 length can count are cut to 65535.
  void SetSize(std::size_t Value) override;

protected:
  bool GetBytes(std::vector<std::uint8_t>& Value) const override;
  void StoreBytes(const std::uint8_t* Data, std::size_t Len) override;
};

// Content of any length, reached only through the dataset's blob streams.
class TBlobField : public TField {
public:
  explicit TBlobField(TComponent* AOwner = nullptr);
  bool IsBlob() const override { return true; }

  // Set by the dataset's blob stream when it wrote; cleared after a post or cancel.
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  // Whether the dataset's stream converts characters (memo fields: true).
  bool Transliterate = false;

  std::int64_t BlobSize() const;
  // Replaces the content with Stream's whole content (from its position 0).
  void LoadFromStream(TStream& Stream);
  // Writes the whole content to Stream at its position.
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  // Truncates the content through a write stream, which makes it null.
  void Clear() override;

  Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;

protected:
  void SetVarValue(const Variant& V) override;

private:
  bool FModified = false;
};

// Text content (Value is a string); transliterated by default.
class TMemoField : public TBlobField {
public:
  explicit TMemoField(TComponent* AOwner = nullptr);
  Variant GetAsVariant() const override;
};

// Picture content (Value is a byte array).
class TGraphicField : public TBlobField {
public:
  explicit TGraphicField(TComponent* AOwner = nullptr);
};

// Creates the field class of Type, owned by Owner (the caller when null);
// null for a type without a field class (ftUnknown among them).
TField* CreateFieldOfType(TFieldType Type, TComponent* Owner);

} // namespace ztl
