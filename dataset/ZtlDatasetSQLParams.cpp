// The dataset's statement text and parameters: the lines and their change
// event, the scanner that finds parameter markers, the values handed to the
// cursor, and the master link that fills parameters from a master dataset.
#include "dataset/ZtlDataset.h"

namespace ztl {

namespace {

// Characters that end a parameter name outside a literal.
bool IsNameDelimiter(char C) {
  return C == '\n' || C == '\r' || C == ' ' || C == ')' || C == ',' || C == ';';
}

bool IsQuote(char C) {
  return C == '\'' || C == '"';
}

// Removes one leading and one trailing Quote, each where present.
void StripQuote(std::string& Name, char Quote) {
  if (!Name.empty() && Name.front() == Quote)
    Name.erase(0, 1);
  if (!Name.empty() && Name.back() == Quote)
    Name.pop_back();
}

} // namespace

// ---- Statement text -------------------------------------------------------------------

void TZantrelDataset::SetQuery(const TStrings* Value) {
  const std::string Text = Value ? Value->GetText() : std::string();
  if (Text == SQL->GetText())
    return;
  Disconnect();
  SQL->BeginUpdate();
  try {
    if (Value)
      SQL->Assign(Value);
    else
      SQL->Clear();
  } catch (...) {
    SQL->EndUpdate();
    throw;
  }
  SQL->EndUpdate();
}

void TZantrelDataset::QueryChanged(TObject* /*Sender*/) {
  SQLText = SQL->GetText();
  if (InState(csLoading)) {
    // The parameters come from the form; only the text is rewritten.
    CreateParams(nullptr, SQLText);
    return;
  }
  Disconnect();
  if (ParamCheck || InState(csDesigning)) {
    // A list that cannot be built leaves the parameters the dataset has;
    // the text change itself stands.
    try {
      auto List = std::make_unique<TZantrelParams>(this);
      CreateParams(List.get(), SQLText);
      List->AssignValues(Params.get());
      Params = std::move(List);
    } catch (const Exception&) {
    }
  }
  DataEvent(dePropertyChange);
}

void TZantrelDataset::CreateParams(TZantrelParams* List, std::string& Text) {
  bool InLiteral = false;
  std::size_t I = 0;
  // The text ends at its first NUL, as the scanned statement would.
  auto At = [&Text](std::size_t Pos) { return Pos < Text.size() ? Text[Pos] : '\0'; };
  while (At(I) != '\0') {
    const char C = At(I);
    if (C == ':' && !InLiteral) {
      if (At(I + 1) == ':') {
        // An escaped colon: the pair becomes one, which is not a marker.
        Text.erase(I, 1);
        ++I;
        continue;
      }
      // The marker runs from the colon to the next delimiter outside a
      // literal; quotes inside it open and close literals as anywhere.
      bool Quoted = false;
      std::size_t End = I;
      while (At(End) != '\0' && (InLiteral || !IsNameDelimiter(At(End)))) {
        if (IsQuote(At(End))) {
          InLiteral = !InLiteral;
          if (End == I + 1)
            Quoted = true;
        }
        ++End;
      }
      std::string Name = Text.substr(I + 1, End - I - 1);
      if (Quoted) {
        StripQuote(Name, '\'');
        StripQuote(Name, '"');
      }
      if (List) {
        TZantrelParam* Param = List->CreateParam(Name);
        Param->SetAlias(Name);
      }
      I = At(End) != '\0' ? End + 1 : End;
      continue;
    }
    if (IsQuote(C))
      InLiteral = !InLiteral;
    ++I;
  }
}

// ---- Parameters ------------------------------------------------------------------------

TZantrelParam* TZantrelDataset::ParamByName(const std::string& Name) const {
  return Params->ParamByName(Name);
}

int TZantrelDataset::GetParamsCount() const {
  return Params->Count();
}

void TZantrelDataset::SetParamsList(const TZantrelParams* Value) {
  CheckInactive();
  Params->AssignValues(Value);
}

void TZantrelDataset::ResetParamsList() {
  CheckInactive();
  Params->Clear();
  CreateParams(Params.get(), SQLText);
}

void TZantrelDataset::GetParamValues(Variant& Values) {
  Values = Variant::Null();
  TZantrelParams Taken;
  const int Count = Params->Count();
  for (int I = 0; I < Count; ++I) {
    // Every "?" is a position of its own, so it is taken as it stands; a
    // lookup by name would pass the first "?"'s value for all of them.
    const TZantrelParam* Param =
        Params->GetItem(I)->GetName() == "?" ? Params->GetItem(I) : Params->GetParam(I);
    const TZantrelParamType Direction = Param->GetParamType();
    if (Direction == nptOutput || Direction == nptResult)
      continue;
    // Each named parameter passes its value once, at its first position;
    // "?" stands for a position of its own.
    if (Param->GetName() != "?" && Taken.FindParam(Param->GetName()))
      continue;
    Taken.CreateParam()->Assign(Param);
  }
  if (Taken.Count() == 0)
    return;
  Values = VarArrayCreate(0, Taken.Count() - 1, varVariant);
  for (int I = 0; I < Taken.Count(); ++I) {
    const TZantrelParam* Param = Taken.GetItem(I);
    Values.PutElement(I, Param->IsNull() ? Variant::Null() : Param->GetAsVariant());
  }
}

// ---- Master link -------------------------------------------------------------------------

TDataSource* TZantrelDataset::GetDataSource() const {
  return DataLink->GetDataSource();
}

void TZantrelDataset::SetDataSource(TDataSource* Value) {
  if (Value && IsLinkedTo(Value))
    DatabaseError(SCircularDataLink, this);
  DataLink->SetDataSource(Value);
}

void TZantrelDataset::SetParamsFromCursor() {
  TDataSource* Source = DataLink->GetDataSource();
  TDataSet* Master = Source ? Source->GetDataSet() : nullptr;
  if (!Master)
    return;
  Master->FieldDefs().Update();
  const int Count = Params->Count();
  for (int I = 0; I < Count; ++I) {
    TZantrelParam* Param = Params->GetParam(I);
    if (Param->GetBound())
      continue;
    // The value follows the master; it stays unbound so that it follows
    // the next record too.
    Param->AssignField(Master->FieldByName(Param->GetName()));
    Param->SetBound(false);
  }
}

void TZantrelDataset::RefreshParams() {
  TControlsGuard Controls(*this);
  TDataSource* Source = DataLink->GetDataSource();
  TDataSet* Master = Source ? Source->GetDataSet() : nullptr;
  if (!Master || !Master->Active() || Master->State() == dsSetKey)
    return;
  SetParamsFromCursor();
  RefreshCursor(nullptr, nullptr, bfBOF);
  Resync({});
  DoAfterScroll();
}

void TZantrelDataLink::ActiveChanged() {
  if (FDataSet->Active())
    FDataSet->RefreshParams();
}

void TZantrelDataLink::CheckBrowseMode() {
  if (FDataSet->Active())
    FDataSet->CheckBrowseMode();
}

void TZantrelDataLink::RecordChanged(TField* Field) {
  if (!Field && FDataSet->Active())
    FDataSet->RefreshParams();
}

} // namespace ztl
