// Index definitions: which fields order a dataset's records, and how.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/db/DBTypes.h"

namespace ztl {

class TIndexDefs;

// One index: its name, the ';' list of the fields it orders by, the subset of
// them sorted descending and the subset compared without regard to case.
// An index may stand alone (a provider hands one to its caller, who owns it)
// or belong to a TIndexDefs, which then owns it.
class TIndexDef : public TPersistent {
public:
  TIndexDef() = default;
  TIndexDef(std::string AName, std::string AFields, TIndexOptions AOptions);
  ~TIndexDef() override;
  TIndexDef(const TIndexDef&) = delete;
  TIndexDef& operator=(const TIndexDef&) = delete;

  // Copies name, field lists and options from another TIndexDef.
  void Assign(const TPersistent* Source) override;

  TIndexDefs* Collection() const { return FCollection; }

  std::string Name;          // the index's name; may be empty
  std::string Fields;        // ';' list of the fields, in order
  std::string DescFields;    // ';' list of the fields sorted descending
  std::string CaseInsFields; // ';' list of the fields compared without case
  TIndexOptions Options;     // kind of index

private:
  friend class TIndexDefs;
  TIndexDefs* FCollection = nullptr; // owning list, or null when standing alone
};

// An ordered list of index definitions that owns them.
class TIndexDefs : public TPersistent {
public:
  TIndexDefs() = default;
  ~TIndexDefs() override;
  TIndexDefs(const TIndexDefs&) = delete;
  TIndexDefs& operator=(const TIndexDefs&) = delete;

  TIndexDef& Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  // Takes ownership of a standalone index definition.
  TIndexDef& AddIndexDef(std::unique_ptr<TIndexDef> Def);
  // Hands an owned definition back to the caller (null when not ours).
  std::unique_ptr<TIndexDef> Extract(TIndexDef& Def);
  void Clear();
  int Count() const { return static_cast<int>(Items.size()); }
  // Raises EListError outside 0 .. Count-1.
  TIndexDef& operator[](int Index) const;
  // Position of the first definition named Name (case-insensitive), or -1.
  int IndexOf(const std::string& Name) const;
  // The definition named Name; raises EDatabaseError when there is none.
  TIndexDef& Find(const std::string& Name) const;
  void Assign(const TPersistent* Source) override;

private:
  std::vector<std::unique_ptr<TIndexDef>> Items; // in order
};

} // namespace ztl
