// The dataset's statement text and parameters: the lines and their change
// event, the scanner that finds parameter markers, the values handed to the
// cursor, and the master link that fills parameters from a master dataset.
#include "dataset/ZtlDataset.h"

#include <algorithm>
#include <string_view>
#include <vector>

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

bool IsWordChar(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' ||
         static_cast<unsigned char>(C) >= 0x80;
}

// Where text that the marker scan must not read ends, when such text starts
// at Pos outside a literal: a "--" comment (up to its line end), a block
// comment, and what the dialect quotes besides '...' and "..." (dollar
// quotes, E'...' with backslash escapes). An unterminated one runs to the
// end of the text. Returns Pos when nothing of the kind starts there.
std::size_t SkipUnscanned(std::string_view Text, std::size_t Pos, const TZantrelMarkerRules& Rules) {
  const std::size_t Size = Text.find('\0') == std::string_view::npos ? Text.size() : Text.find('\0');
  auto Find = [&](std::string_view What, std::size_t From) {
    const std::size_t Found = Text.substr(0, Size).find(What, From);
    return Found == std::string_view::npos ? Size : Found + What.size();
  };
  const char C = Text[Pos];
  const char Next = Pos + 1 < Size ? Text[Pos + 1] : '\0';
  if (C == '-' && Next == '-') {
    const std::size_t End = Text.substr(0, Size).find_first_of("\r\n", Pos);
    return End == std::string_view::npos ? Size : End;
  }
  if (C == '/' && Next == '*')
    return Find("*/", Pos + 2);
  if (Rules.DollarQuotes && C == '$' && (Pos == 0 || !IsWordChar(Text[Pos - 1]))) {
    // $$ or $tag$, where a tag does not start with a digit ($1 is a marker).
    std::size_t TagEnd = Pos + 1;
    if (TagEnd < Size && !(Text[TagEnd] >= '0' && Text[TagEnd] <= '9'))
      while (TagEnd < Size && IsWordChar(Text[TagEnd]) && Text[TagEnd] != '$')
        ++TagEnd;
    if (TagEnd < Size && Text[TagEnd] == '$')
      return Find(Text.substr(Pos, TagEnd + 1 - Pos), TagEnd + 1);
  }
  if (Rules.EscapeStrings && (C == 'E' || C == 'e') && Next == '\'' &&
      (Pos == 0 || !IsWordChar(Text[Pos - 1]))) {
    for (std::size_t I = Pos + 2; I < Size; ++I) {
      if (Text[I] == '\\')
        ++I; // the escaped character, a quote included
      else if (Text[I] == '\'') {
        if (I + 1 < Size && Text[I + 1] == '\'')
          ++I; // a doubled quote
        else
          return I + 1;
      }
    }
    return Size;
  }
  return Pos;
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
  const TZantrelMarkerRules Rules = Cursor ? Cursor->GetMarkerRules() : TZantrelMarkerRules{};
  bool InLiteral = false;
  int Brackets = 0; // depth of [...] outside literals, for array slices
  std::size_t I = 0;
  // The text ends at its first NUL, as the scanned statement would.
  auto At = [&Text](std::size_t Pos) { return Pos < Text.size() ? Text[Pos] : '\0'; };
  while (At(I) != '\0') {
    const char C = At(I);
    if (!InLiteral) {
      if (const std::size_t Past = SkipUnscanned(Text, I, Rules); Past != I) {
        I = Past;
        continue;
      }
      if (Rules.ArraySlices && (C == '[' || C == ']')) {
        Brackets = std::max(0, Brackets + (C == '[' ? 1 : -1));
        ++I;
        continue;
      }
    }
    if (C == ':' && !InLiteral) {
      if (At(I + 1) == ':') {
        if (Rules.DoubleColonIsCast) {
          I += 2; // a cast: both colons stay
          continue;
        }
        // An escaped colon: the pair becomes one, which is not a marker.
        Text.erase(I, 1);
        ++I;
        continue;
      }
      if ((Rules.ColonEquals && At(I + 1) == '=') || Brackets > 0) {
        ++I;
        continue;
      }
      // The marker runs from the colon to the next delimiter outside a
      // literal; quotes inside it open and close literals as anywhere.
      bool Quoted = false;
      std::size_t End = I;
      bool CastFollows = false;
      while (At(End) != '\0' && (InLiteral || !IsNameDelimiter(At(End)))) {
        // Where "::" is a cast, it ends the name: ":A::text" casts A.
        if (Rules.DoubleColonIsCast && !InLiteral && End > I && At(End) == ':' &&
            At(End + 1) == ':') {
          CastFollows = true;
          break;
        }
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
      I = At(End) != '\0' && !CastFollows ? End + 1 : End;
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

bool TZantrelDataset::ParamPlanMatches() const {
  const int Count = Params->Count();
  if (static_cast<std::size_t>(Count) != ParamPlan.size())
    return false;
  for (int I = 0; I < Count; ++I) {
    const TZantrelParam* Param = Params->GetItem(I);
    const TParamPlanItem& Item = ParamPlan[static_cast<std::size_t>(I)];
    if (Param != Item.Param || Param->GetName() != Item.Name)
      return false;
  }
  return true;
}

void TZantrelDataset::BuildParamPlan() {
  const int Count = Params->Count();
  ParamPlan.clear();
  ParamPlan.reserve(static_cast<std::size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    const TZantrelParam* Param = Params->GetItem(I);
    // Every "?" is a position of its own, so it is taken as it stands; a
    // lookup by name would pass the first "?"'s value for all of them.
    const TZantrelParam* Source = Param->GetName() == "?" ? Param : Params->GetParam(I);
    // A named parameter resolves to the first of its name, so it passes its
    // value at the first position that resolves to it.
    const bool First = std::none_of(ParamPlan.begin(), ParamPlan.end(),
                                    [Source](const TParamPlanItem& Item) {
                                      return Item.Source == Source;
                                    });
    ParamPlan.push_back({Param, Param->GetName(), Source, First});
  }
}

void TZantrelDataset::GetParamValues(Variant& Values) {
  Values = Variant::Null();
  // Which parameter passes a value at which position depends on the names
  // alone; a query run again and again keeps its parameters and their names,
  // and resolving them compares every name with every other.
  if (!ParamPlanMatches())
    BuildParamPlan();
  const auto Passes = [](const TParamPlanItem& Item) {
    const TZantrelParamType Direction = Item.Source->GetParamType();
    return Item.First && Direction != nptOutput && Direction != nptResult;
  };
  const auto Count = std::count_if(ParamPlan.begin(), ParamPlan.end(), Passes);
  if (Count == 0)
    return;
  // A statement executed again and again passes the same number of values
  // every time: the array is made once and its elements are overwritten.
  if (!ParamValues.IsArray() || ParamValues.ElementCount() != static_cast<std::size_t>(Count))
    ParamValues = VarArrayCreate(0, static_cast<int>(Count) - 1, varVariant);
  const std::span<Variant> Items = ParamValues.MutableElements();
  std::size_t I = 0;
  for (const TParamPlanItem& Item : ParamPlan)
    if (Passes(Item)) {
      const TZantrelParam* Param = Item.Source;
      if (Param->IsNull())
        Items[I++] = Variant::Null();
      else
        Param->GetAsVariant(Items[I++]);
    }
  Values = ParamValues;
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
