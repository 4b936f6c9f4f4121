// String lists: the operations TStrings builds on its descendant's storage,
// and the storage, sorting and change notification of TStringList.
#include "framework/classes/Strings.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "framework/classes/FormFiles.h"
#include "framework/classes/Streams.h"

namespace ztl {

namespace {

// Holds a list in its update state for the lifetime of the guard, so that an
// exception in the middle of a batch still ends the update. Ending the update
// fires OnChange, whose handler may raise: that error propagates, unless the
// guard ends during another exception, which then takes precedence.
class TUpdateGuard {
public:
  explicit TUpdateGuard(TStrings& AList) : List(AList), Uncaught(std::uncaught_exceptions()) {
    List.BeginUpdate();
  }
  ~TUpdateGuard() noexcept(false) {
    if (std::uncaught_exceptions() == Uncaught) {
      List.EndUpdate();
      return;
    }
    try {
      List.EndUpdate();
    } catch (...) { // the exception in flight is the one to report
    }
  }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

private:
  TStrings& List;
  const int Uncaught; // exceptions in flight when the guard was made
};

// A comma-text item needs quotes when reading it back unquoted would split
// or trim it, or drop it altogether (an empty item before a comma or at the
// end reads back as nothing).
bool NeedsQuotes(std::string_view S) {
  return S.empty() || std::any_of(S.begin(), S.end(), [](char C) {
           return static_cast<unsigned char>(C) <= ' ' || C == '"' || C == ',';
         });
}

bool IsBlank(char C) {
  return static_cast<unsigned char>(C) <= ' ';
}

} // namespace

// --------------------------------------------------------------- TStrings

void TStrings::Error(const char* Msg, int Data) {
  throw EListError(Format(Msg, {std::int64_t{Data}}));
}

int TStrings::Add(const std::string& S) {
  const int Result = GetCount();
  Insert(Result, S);
  return Result;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int Result = Add(S);
  PutObject(Result, AObject);
  return Result;
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* const AObject = GetObject(Index);
  TUpdateGuard Guard(*this);
  Delete(Index);
  InsertObject(Index, S, AObject);
}

TObject* TStrings::GetObject(int) const {
  return nullptr;
}

void TStrings::PutObject(int, TObject*) {}

void TStrings::SetUpdateState(bool) {}

void TStrings::Exchange(int Index1, int Index2) {
  const std::string S1 = Get(Index1);
  const std::string S2 = Get(Index2);
  TObject* const O1 = GetObject(Index1);
  TObject* const O2 = GetObject(Index2);
  TUpdateGuard Guard(*this);
  Put(Index1, S2);
  PutObject(Index1, O2);
  Put(Index2, S1);
  PutObject(Index2, O1);
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex)
    return;
  // Check the target before deleting, or a bad NewIndex would lose the line.
  if (NewIndex < 0 || NewIndex >= GetCount())
    Error(SListIndexError, NewIndex);
  const std::string S = Get(CurIndex);
  TObject* const AObject = GetObject(CurIndex);
  TUpdateGuard Guard(*this);
  Delete(CurIndex);
  InsertObject(NewIndex, S, AObject);
}

void TStrings::AddStrings(const TStrings& Strings) {
  TUpdateGuard Guard(*this);
  // Count once: adding a list to itself doubles it rather than looping.
  const int N = Strings.GetCount();
  for (int I = 0; I < N; ++I)
    AddObject(Strings.Get(I), Strings.GetObject(I));
}

int TStrings::IndexOf(const std::string& S) const {
  const int N = GetCount();
  for (int I = 0; I < N; ++I)
    if (AnsiSameText(Get(I), S))
      return I;
  return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
  const int N = GetCount();
  for (int I = 0; I < N; ++I) {
    const std::string S = Get(I);
    const std::size_t P = S.find('=');
    if (P != std::string::npos && AnsiSameText(std::string_view(S).substr(0, P), Name))
      return I;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  const int N = GetCount();
  for (int I = 0; I < N; ++I)
    if (GetObject(I) == AObject)
      return I;
  return -1;
}

std::string TStrings::Names(int Index) const {
  const std::string S = Get(Index);
  const std::size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(0, P);
}

std::string TStrings::Values(const std::string& Name) const {
  const int I = IndexOfName(Name);
  if (I < 0)
    return {};
  const std::string S = Get(I);
  return S.substr(S.find('=') + 1);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  const int I = IndexOfName(Name);
  if (!Value.empty()) {
    if (I < 0)
      Add(Name + "=" + Value);
    else
      Put(I, Name + "=" + Value);
  } else if (I >= 0)
    Delete(I);
}

std::string TStrings::GetText() const {
  std::string Result;
  const int N = GetCount();
  for (int I = 0; I < N; ++I) {
    Result += Get(I);
    Result += sLineBreak;
  }
  return Result;
}

void TStrings::SetText(std::string_view Text) {
  TUpdateGuard Guard(*this);
  Clear();
  std::size_t Start = 0;
  while (Start < Text.size()) {
    std::size_t End = Start;
    while (End < Text.size() && Text[End] != '\r' && Text[End] != '\n')
      ++End;
    Add(std::string(Text.substr(Start, End - Start)));
    // One break is "\r\n", "\r" or "\n"; "\n\r" is two.
    if (End < Text.size() && Text[End] == '\r')
      ++End;
    if (End < Text.size() && Text[End] == '\n')
      ++End;
    Start = End;
  }
}

std::string TStrings::GetCommaText() const {
  const int N = GetCount();
  std::string Result;
  for (int I = 0; I < N; ++I) {
    if (I > 0)
      Result += ',';
    const std::string S = Get(I);
    if (!NeedsQuotes(S)) {
      Result += S;
      continue;
    }
    Result += '"';
    for (char C : S) {
      if (C == '"')
        Result += '"';
      Result += C;
    }
    Result += '"';
  }
  return Result;
}

void TStrings::SetCommaText(std::string_view Text) {
  TUpdateGuard Guard(*this);
  Clear();
  std::size_t P = 0;
  const std::size_t N = Text.size();
  while (P < N && IsBlank(Text[P]))
    ++P;
  while (P < N) {
    std::string Item;
    if (Text[P] == '"') {
      // Quoted: a doubled quote stands for one; an unterminated item runs to
      // the end of the text.
      ++P;
      while (P < N) {
        if (Text[P] == '"') {
          if (P + 1 < N && Text[P + 1] == '"') {
            Item += '"';
            P += 2;
            continue;
          }
          ++P;
          break;
        }
        Item += Text[P++];
      }
    } else {
      const std::size_t Start = P;
      while (P < N && !IsBlank(Text[P]) && Text[P] != ',')
        ++P;
      Item.assign(Text.substr(Start, P - Start));
    }
    Add(Item);
    while (P < N && IsBlank(Text[P]))
      ++P;
    if (P < N && Text[P] == ',') {
      ++P;
      while (P < N && IsBlank(Text[P]))
        ++P;
    }
  }
}

bool TStrings::Equals(const TStrings& Strings) const {
  const int N = GetCount();
  if (N != Strings.GetCount())
    return false;
  for (int I = 0; I < N; ++I)
    if (Get(I) != Strings.Get(I))
      return false;
  return true;
}

void TStrings::Assign(const TPersistent* Source) {
  if (const auto* Strings = dynamic_cast<const TStrings*>(Source)) {
    if (Strings == this)
      return;
    TUpdateGuard Guard(*this);
    Clear();
    AddStrings(*Strings);
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::BeginUpdate() {
  if (UpdateCount == 0)
    SetUpdateState(true);
  ++UpdateCount;
}

void TStrings::EndUpdate() {
  // An unbalanced EndUpdate is ignored rather than driving the count
  // negative and silencing every later notification.
  if (UpdateCount <= 0)
    return;
  if (--UpdateCount == 0)
    SetUpdateState(false);
}

void TStrings::LoadFromStream(TStream& Stream) {
  const std::int64_t Remaining = Stream.GetSize() - Stream.GetPosition();
  if (Remaining > std::numeric_limits<std::int32_t>::max())
    throw EReadError(SReadError);
  // Read everything before touching the list, so a failing stream leaves it
  // as it was.
  const std::string Text =
      Stream.ReadString(static_cast<std::int32_t>(std::max<std::int64_t>(Remaining, 0)));
  SetText(Text);
}

void TStrings::SaveToStream(TStream& Stream) const {
  Stream.WriteString(GetText());
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(Stream);
}

void TStrings::DefineProperties(TFiler* Filer) {
  TPersistent::DefineProperties(Filer);
  bool HasData = Count() > 0;
  if (const auto* Ancestor = dynamic_cast<const TStrings*>(Filer->GetAncestor()))
    HasData = !Equals(*Ancestor);
  Filer->DefineProperty(
      "Strings",
      [this](TReader& Reader) {
        Reader.ReadListBegin();
        BeginUpdate();
        try {
          Clear();
          while (!Reader.EndOfList())
            Add(Reader.ReadString());
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
        Reader.ReadListEnd();
      },
      [this](TWriter& Writer) {
        Writer.WriteListBegin();
        for (int I = 0; I < Count(); ++I)
          Writer.WriteString(Get(I));
        Writer.WriteListEnd();
      },
      HasData);
}

// ------------------------------------------------------------ TStringList

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= GetCount())
    Error(SListIndexError, Index);
}

void TStringList::Changing() {
  if (GetUpdateCount() == 0) {
    if (OnChanging)
      OnChanging(this);
  } else if (!ChangedInUpdate) {
    ChangedInUpdate = true;
    if (OnChanging)
      OnChanging(this);
  }
}

void TStringList::Changed() {
  if (GetUpdateCount() == 0 && OnChange)
    OnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating || !ChangedInUpdate)
    return;
  ChangedInUpdate = false;
  if (OnChange)
    OnChange(this);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return Items[static_cast<std::size_t>(Index)].String;
}

void TStringList::Put(int Index, const std::string& S) {
  if (Sorted)
    throw EListError(SSortedListError);
  CheckIndex(Index);
  Changing();
  Items[static_cast<std::size_t>(Index)].String = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return Items[static_cast<std::size_t>(Index)].Object;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  Items[static_cast<std::size_t>(Index)].Object = AObject;
  Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  Items.insert(Items.begin() + Index, TStringItem{S, AObject});
  Changed();
}

int TStringList::Add(const std::string& S) {
  return AddObject(S, nullptr);
}

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int Index = GetCount();
  if (Sorted && Find(S, Index)) {
    switch (Duplicates) {
    case dupIgnore:
      return Index;
    case dupError:
      throw EListError(SDuplicateString);
    case dupAccept:
      // After the equal lines already held, so equals keep their order.
      while (Index < GetCount() &&
             AnsiSameText(Items[static_cast<std::size_t>(Index)].String, S))
        ++Index;
      break;
    }
  }
  InsertItem(Index, S, AObject);
  return Index;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (Sorted)
    throw EListError(SSortedListError);
  if (Index < 0 || Index > GetCount())
    Error(SListIndexError, Index);
  InsertItem(Index, S, nullptr);
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  Items.erase(Items.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (Items.empty())
    return;
  Changing();
  Items.clear();
  Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
  if (Sorted)
    throw EListError(SSortedListError);
  CheckIndex(Index1);
  CheckIndex(Index2);
  if (Index1 == Index2)
    return;
  Changing();
  std::swap(Items[static_cast<std::size_t>(Index1)], Items[static_cast<std::size_t>(Index2)]);
  Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
  if (Sorted)
    throw EListError(SSortedListError);
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex == NewIndex)
    return;
  Changing();
  const auto First = Items.begin();
  if (CurIndex < NewIndex)
    std::rotate(First + CurIndex, First + CurIndex + 1, First + NewIndex + 1);
  else
    std::rotate(First + NewIndex, First + CurIndex, First + CurIndex + 1);
  Changed();
}

int TStringList::IndexOf(const std::string& S) const {
  if (!Sorted)
    return TStrings::IndexOf(S);
  int Index = 0;
  return Find(S, Index) ? Index : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  const auto It = std::lower_bound(Items.begin(), Items.end(), S,
                                   [](const TStringItem& Item, const std::string& Key) {
                                     return AnsiCompareText(Item.String, Key) < 0;
                                   });
  Index = static_cast<int>(It - Items.begin());
  return It != Items.end() && AnsiSameText(It->String, S);
}

void TStringList::Sort() {
  if (Sorted || Items.size() < 2)
    return;
  Changing();
  std::stable_sort(Items.begin(), Items.end(), [](const TStringItem& A, const TStringItem& B) {
    return AnsiCompareText(A.String, B.String) < 0;
  });
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == Sorted)
    return;
  if (Value)
    Sort();
  Sorted = Value;
}

} // namespace ztl
