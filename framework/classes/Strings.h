// String lists: the abstract TStrings and the concrete TStringList.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/rtl/Events.h"
#include "framework/rtl/SysUtils.h"
#include "framework/rtl/System.h"

namespace ztl {

class TStream;

// The line break that GetText writes after every line.
inline constexpr const char* sLineBreak = "\r\n";

inline constexpr const char* SDuplicateString = "String list does not allow duplicates";
inline constexpr const char* SSortedListError = "Operation not allowed on sorted string list";

// What a sorted TStringList does with a string it already holds
// (case-insensitively): dupIgnore keeps the one it has and returns that
// index, dupAccept adds another, dupError raises EListError.
enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

// An ordered list of strings, each with an associated object pointer that
// the list does not own.
//
// TStrings is the abstract base: a descendant stores the strings (Get, Put,
// GetCount, Insert, Delete, Clear, GetObject, PutObject) and the base builds
// everything else on those. An index outside 0 .. Count-1 raises EListError
// "List index out of bounds (%d)". Searches by content (IndexOf, IndexOfName,
// Values) compare case-insensitively with AnsiCompareText; Equals compares
// exactly.
//
// Text: GetText writes every line followed by "\r\n"; SetText splits at
// "\r\n", "\n" or "\r", and a break at the very end does not start another
// line.
//
// BeginUpdate/EndUpdate nest; a descendant that reports changes holds its
// notifications until the outermost EndUpdate (see TStringList).
class TStrings : public TPersistent {
public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  int Count() const { return GetCount(); }
  std::string Strings(int Index) const { return Get(Index); }
  std::string operator[](int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }

  // Appends S (a sorted list places it in order) and returns its index.
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  void Append(const std::string& S) { Add(S); }
  virtual void Insert(int Index, const std::string& S) = 0; // Index may equal Count
  void InsertObject(int Index, const std::string& S, TObject* AObject);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int Index1, int Index2);
  // Moves the line at CurIndex (with its object) so that it ends at NewIndex.
  virtual void Move(int CurIndex, int NewIndex);
  // Adds every line of Strings with its object.
  void AddStrings(const TStrings& Strings);

  // Index of the first line equal to S case-insensitively, or -1.
  virtual int IndexOf(const std::string& S) const;
  // Index of the first "Name=..." line whose name matches, or -1.
  int IndexOfName(const std::string& Name) const;
  int IndexOfObject(const TObject* AObject) const;

  // The part of line Index before the first '=' ("" when there is none).
  std::string Names(int Index) const;
  // The text after the first '=' of the line named Name; "" if none.
  std::string Values(const std::string& Name) const;
  // Replaces or adds "Name=Value"; an empty Value deletes the line.
  void SetValues(const std::string& Name, const std::string& Value);

  virtual std::string GetText() const;
  virtual void SetText(std::string_view Text);
  // Lines separated by commas; an empty line, or one holding a space, a
  // control character, a comma or a double quote, is quoted with '"' (inner
  // quotes doubled). SetCommaText also separates at unquoted spaces.
  std::string GetCommaText() const;
  void SetCommaText(std::string_view Text);

  // Same number of lines, each equal byte for byte (objects are not compared).
  bool Equals(const TStrings& Strings) const;

  // Copies the lines and objects of another TStrings; any other source
  // raises the framework's assign error.
  void Assign(const TPersistent* Source) override;

  void BeginUpdate();
  void EndUpdate();
  int GetUpdateCount() const { return UpdateCount; }

  // Replaces the lines with the text from Stream's position to its end.
  virtual void LoadFromStream(TStream& Stream);
  // Writes GetText at Stream's position.
  virtual void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

protected:
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  // Called with true at the outermost BeginUpdate and with false at the
  // outermost EndUpdate.
  virtual void SetUpdateState(bool Updating);
  [[noreturn]] static void Error(const char* Msg, int Data);
  // Form files hold the lines as the list property "Strings", written when
  // they differ from the ancestor's lines (or, without one, when there are any).
  void DefineProperties(TFiler* Filer) override;

private:
  int UpdateCount = 0; // depth of BeginUpdate calls not yet ended
};

// The concrete string list.
//
// Sorted keeps the lines in AnsiCompareText order; Add then places a line by
// binary search, and Insert, Put, Exchange and Move raise EListError
// "Operation not allowed on sorted string list" because they would break the
// order that Find and IndexOf rely on. With the default Duplicates
// (dupIgnore), adding a line that a sorted list already holds
// (case-insensitively) adds nothing and returns the index of the line held;
// dupAccept adds it after the equal lines already there.
//
// OnChanging is fired before and OnChange after every change; inside
// BeginUpdate/EndUpdate they are fired once each: OnChanging before the first
// change and OnChange at the outermost EndUpdate, and only if something
// changed.
class TStringList : public TStrings {
public:
  TStringList() = default;

  int Add(const std::string& S) override;
  // A sorted list that ignores a duplicate keeps the object it holds.
  int AddObject(const std::string& S, TObject* AObject) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;
  void Exchange(int Index1, int Index2) override;
  void Move(int CurIndex, int NewIndex) override;
  int IndexOf(const std::string& S) const override;

  // Binary search of a sorted list: true and the index of the first match,
  // or false and the index where S would go. Only meaningful when Sorted.
  bool Find(const std::string& S, int& Index) const;
  void Sort(); // AnsiCompareText order, equal lines keep their order

  bool GetSorted() const { return Sorted; }
  void SetSorted(bool Value); // switching on sorts the list
  TDuplicates GetDuplicates() const { return Duplicates; }
  void SetDuplicates(TDuplicates Value) { Duplicates = Value; }

  TNotifyEvent OnChange;   // after a change (or a batch of them)
  TNotifyEvent OnChanging; // before a change (or a batch of them)

protected:
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  int GetCount() const override { return static_cast<int>(Items.size()); }
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void SetUpdateState(bool Updating) override;

  virtual void Changing();
  virtual void Changed();

private:
  struct TStringItem {
    std::string String;        // the line
    TObject* Object = nullptr; // associated object, not owned
  };
  void CheckIndex(int Index) const;
  void InsertItem(int Index, const std::string& S, TObject* AObject);

  std::vector<TStringItem> Items;
  bool Sorted = false;                // lines kept in AnsiCompareText order
  TDuplicates Duplicates = dupIgnore; // policy for duplicates of a sorted list
  bool ChangedInUpdate = false;       // a change happened since the outermost BeginUpdate
};

} // namespace ztl
