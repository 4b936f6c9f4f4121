// The framework's own parameter list: named values with a type and a
// direction, as a provider exchanges them with a dataset.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/db/DBTypes.h"
#include "framework/variant/DateUtils.h"
#include "framework/variant/Variants.h"

namespace ztl {

class TParams;

// One parameter. Assigning a value marks it Bound and, while DataType is
// ftUnknown, takes the type from the value's kind.
class TParam : public TPersistent {
public:
  TParam() = default;
  TParam(std::string AName, TFieldType ADataType, TParamType AParamType);
  TParam(const TParam&) = delete;
  TParam& operator=(const TParam&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType Value) { FDataType = Value; }
  TParamType ParamType() const { return FParamType; }
  void SetParamType(TParamType Value) { FParamType = Value; }
  bool Bound() const { return FBound; }
  void SetBound(bool Value) { FBound = Value; }

  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& V);
  bool IsNull() const { return FValue.IsClear(); }
  // Makes the value Null; the type, direction and Bound stay.
  void Clear() { FValue = Variant::Null(); }

  // Variant conversions of the value (EVariantError when impossible); the
  // setters also set DataType.
  std::string AsString() const { return FValue.IsClear() ? std::string() : FValue.AsString(); }
  std::int32_t AsInteger() const { return FValue.AsInteger(); }
  double AsFloat() const { return FValue.AsDouble(); }
  bool AsBoolean() const { return FValue.AsBoolean(); }
  TDateTime AsDateTime() const { return FValue.AsDateTime(); }
  void SetAsString(const std::string& V);
  void SetAsInteger(std::int32_t V);
  void SetAsFloat(double V);
  void SetAsBoolean(bool V);
  void SetAsDateTime(TDateTime V);

  // Name, type and value of a field; Bound.
  void AssignField(const TField* Field);
  // Copies name, type, direction, value and Bound.
  void Assign(const TParam& Source);
  // Sources: TParam, TField.
  void Assign(const TPersistent* Source) override;

  TParams* Collection() const { return FCollection; }

protected:
  // Destinations: TField (its value becomes this value).
  void AssignTo(TPersistent* Dest) const override;

private:
  friend class TParams;
  TParams* FCollection = nullptr; // the owning list, or null
  std::string FName;
  TFieldType FDataType = ftUnknown;
  TParamType FParamType = ptUnknown;
  Variant FValue;      // Empty until assigned
  bool FBound = false; // a value was given
};

// An ordered list of parameters that owns them. Names need not be unique;
// searches by name take the first match, ignoring case.
class TParams : public TPersistent {
public:
  TParams() = default;
  ~TParams() override;
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  int Count() const { return static_cast<int>(Items.size()); }
  // Raises EListError outside 0 .. Count-1.
  TParam& operator[](int Index) const;
  TParam& CreateParam(TFieldType FieldType, const std::string& Name, TParamType ParamType);
  // Takes ownership (from another list too) and appends.
  TParam& AddParam(std::unique_ptr<TParam> Param);
  // Hands the parameter back to the caller; null when it is not in this list.
  std::unique_ptr<TParam> RemoveParam(TParam& Param);
  TParam* FindParam(const std::string& Name) const;
  // Raises EDatabaseError with SParameterNotFound.
  TParam& ParamByName(const std::string& Name) const;
  void Clear();
  // A deep copy of Source's parameters.
  void Assign(const TParams& Source);
  void Assign(const TPersistent* Source) override;

  auto begin() const { return Items.begin(); }
  auto end() const { return Items.end(); }

private:
  std::vector<std::unique_ptr<TParam>> Items; // in order
};

} // namespace ztl
