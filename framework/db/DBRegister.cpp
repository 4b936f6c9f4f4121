// Registration of the data source and the field classes for form files.
#include "framework/db/DBRegister.h"

#include "framework/db/DataSource.h"
#include "framework/db/Fields.h"

namespace ztl {

namespace {

// Size travels as Integer, as the classic writers store it; a negative
// size in a form file is refused rather than wrapped into a huge one.
template <class C>
void RegisterSize(int Default) {
  RegisterProperty<C>(
      "Size", [](const C& F) { return static_cast<int>(F.Size()); },
      [](C& F, int Value) {
        if (Value < 0)
          throw EPropertyError(SInvalidPropertyValue);
        F.SetSize(static_cast<std::size_t>(Value));
      },
      Default);
}

void RegisterFieldClass() {
  RegisterClass<TField, TComponent>();
  RegisterProperty<TField>("Alignment", &TField::Alignment, &TField::SetAlignment, taLeftJustify);
  RegisterProperty<TField>("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel,
                           std::string());
  RegisterProperty<TField>("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth)
      .SetStored(&TField::IsDisplayWidthStored);
  RegisterProperty<TField>("FieldKind", &TField::FieldKind, &TField::SetFieldKind, fkData);
  RegisterProperty<TField>("FieldName", &TField::FieldName, &TField::SetFieldName, std::string());
  RegisterProperty<TField>("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet);
  RegisterProperty<TField>(
      "LookupKeyFields", [](const TField& F) { return F.LookupKeyFields; },
      [](TField& F, const std::string& V) { F.LookupKeyFields = V; }, std::string());
  RegisterProperty<TField>(
      "LookupResultField", [](const TField& F) { return F.LookupResultField; },
      [](TField& F, const std::string& V) { F.LookupResultField = V; }, std::string());
  RegisterProperty<TField>(
      "KeyFields", [](const TField& F) { return F.KeyFields; },
      [](TField& F, const std::string& V) { F.KeyFields = V; }, std::string());
  RegisterProperty<TField>(
      "ProviderFlags", [](const TField& F) { return F.ProviderFlags; },
      [](TField& F, TProviderFlags V) { F.ProviderFlags = V; },
      TProviderFlags{pfInUpdate, pfInWhere});
  RegisterProperty<TField>("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly, false);
  RegisterProperty<TField>("Required", &TField::Required, &TField::SetRequired, false);
  RegisterProperty<TField>("Visible", &TField::Visible, &TField::SetVisible, true);
  RegisterEvent<TField, TFieldNotifyEvent>("OnChange", &TField::OnChange, "TFieldNotifyEvent");
  RegisterEvent<TField, TFieldNotifyEvent>("OnValidate", &TField::OnValidate,
                                           "TFieldNotifyEvent");
}

void RegisterFieldClasses() {
  RegisterFieldClass();

  RegisterClass<TStringField, TField>();
  RegisterProperty<TStringField>("EditMask", &TField::EditMask, &TField::SetEditMask,
                                 std::string());
  RegisterSize<TStringField>(20);
  RegisterClass<TWideStringField, TStringField>();

  RegisterClass<TNumericField, TField>();
  RegisterProperty<TNumericField>("Alignment", &TField::Alignment, &TField::SetAlignment,
                                  taRightJustify);
  RegisterProperty<TNumericField>("DisplayFormat", &TField::DisplayFormat,
                                  &TField::SetDisplayFormat, std::string());
  RegisterClass<TIntegerField, TNumericField>();
  RegisterProperty<TIntegerField>(
      "MaxValue", [](const TIntegerField& F) { return F.MaxValue; },
      [](TIntegerField& F, std::int64_t V) { F.MaxValue = V; }, 0);
  RegisterProperty<TIntegerField>(
      "MinValue", [](const TIntegerField& F) { return F.MinValue; },
      [](TIntegerField& F, std::int64_t V) { F.MinValue = V; }, 0);
  RegisterClass<TSmallintField, TIntegerField>();
  RegisterClass<TWordField, TIntegerField>();
  RegisterClass<TAutoIncField, TIntegerField>();
  RegisterClass<TLargeintField, TNumericField>();
  RegisterClass<TFloatField, TNumericField>();
  RegisterProperty<TFloatField>(
      "MaxValue", [](const TFloatField& F) { return F.MaxValue; },
      [](TFloatField& F, double V) { F.MaxValue = V; }, 0.0);
  RegisterProperty<TFloatField>(
      "MinValue", [](const TFloatField& F) { return F.MinValue; },
      [](TFloatField& F, double V) { F.MinValue = V; }, 0.0);
  RegisterProperty<TFloatField>(
      "Precision", [](const TFloatField& F) { return F.Precision; },
      [](TFloatField& F, int V) { F.Precision = V; }, 15);
  RegisterClass<TCurrencyField, TFloatField>();
  RegisterClass<TBCDField, TFloatField>();
  RegisterSize<TBCDField>(4);

  RegisterClass<TBooleanField, TField>();

  RegisterClass<TDateTimeField, TField>();
  RegisterProperty<TDateTimeField>("DisplayFormat", &TField::DisplayFormat,
                                   &TField::SetDisplayFormat, std::string());
  RegisterProperty<TDateTimeField>("EditMask", &TField::EditMask, &TField::SetEditMask,
                                   std::string());
  RegisterClass<TDateField, TDateTimeField>();
  RegisterClass<TTimeField, TDateTimeField>();

  RegisterClass<TBinaryField, TField>();
  RegisterClass<TBytesField, TBinaryField>();
  RegisterSize<TBytesField>(16);
  RegisterClass<TVarBytesField, TBytesField>();

  RegisterClass<TBlobField, TField>();
  RegisterSize<TBlobField>(0);
  RegisterClass<TMemoField, TBlobField>();
  RegisterClass<TGraphicField, TBlobField>();
}

} // namespace

void RegisterDBClasses() {
  // A flag, not a registry lookup: a program may have registered one of
  // these classes bare before, and must still get the properties.
  static bool Registered = false;
  if (Registered)
    return;
  Registered = true;
  RegisterEnum<TAlignment>("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
  RegisterEnum<TFieldKind>("TFieldKind", {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc"});
  RegisterEnum<TProviderFlag>("TProviderFlag", {"pfInUpdate", "pfInWhere", "pfInKey", "pfHidden"});

  RegisterClass<TDataSet, TComponent>();
  RegisterFieldClasses();

  RegisterClass<TDataSource, TComponent>();
  RegisterProperty<TDataSource>("AutoEdit", &TDataSource::GetAutoEdit, &TDataSource::SetAutoEdit,
                                true);
  RegisterProperty<TDataSource>("DataSet", &TDataSource::GetDataSet, &TDataSource::SetDataSet);
  RegisterProperty<TDataSource>("Enabled", &TDataSource::GetEnabled, &TDataSource::SetEnabled,
                                true);
  RegisterEvent<TDataSource, TNotifyEvent>("OnStateChange", &TDataSource::OnStateChange,
                                           "TNotifyEvent");
  RegisterEvent<TDataSource, TDataChangeEvent>("OnDataChange", &TDataSource::OnDataChange,
                                               "TDataChangeEvent");
  RegisterEvent<TDataSource, TNotifyEvent>("OnUpdateData", &TDataSource::OnUpdateData,
                                           "TNotifyEvent");
}

} // namespace ztl
