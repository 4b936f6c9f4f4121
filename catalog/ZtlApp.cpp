// The catalog helpers: databases from the screen's session components,
// tables, procedures and columns from the server's system catalog.
#include "catalog/ZtlApp.h"

#include "dataset/ZtlCleanup_p.h"
#include "framework/db/DBErrors.h"
#include "framework/forms/DataModule.h"
#include "framework/forms/Forms.h"
#include "framework/rtl/SysUtils.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

namespace {

// The key a database is listed and found under.
std::string DatabaseListName(const std::string& DatabaseName) {
  return ZtlExtractFilePrefix(ExtractFileName(DatabaseName));
}

// Adds the sessions that Container owns to Names (a sorted list that keeps
// the first of equal names).
void AddSessionsOf(const TComponent& Container, TStringList& Names) {
  for (int I = 0; I < Container.GetComponentCount(); ++I) {
    auto* const Session = dynamic_cast<TZantrelSession*>(Container.GetComponent(I));
    // A session on its way out must not be handed to anyone: opening it
    // again would reconnect an object that is being torn down.
    if (!Session || Session->InState(csDestroying))
      continue;
    const std::string& Name = Session->GetDatabaseName();
    if (Trim(Name).empty())
      continue;
    Names.AddObject(DatabaseListName(Name), Session);
  }
}

// Runs Fill between List.BeginUpdate and List.EndUpdate, clearing List
// first; the update is ended also when Fill fails.
template <class F>
void FillList(TStrings& List, F&& Fill) {
  List.BeginUpdate();
  try {
    List.Clear();
    Fill();
  } catch (...) {
    ZtlReleaseAfterFailure(&List, [&List] { List.EndUpdate(); });
    throw;
  }
  List.EndUpdate();
}

// Holds Session open while a new dataset of DatasetClass, linked to it,
// goes through Read; the dataset is freed and then the session released,
// also when something fails. Only what was taken is given back: a session
// whose opening fails is not released.
template <class F>
void WithCatalogDataset(TZantrelSession& Session, const TZantrelDatasetClass& DatasetClass,
                        F&& Read) {
  Session.OpenSession(nullptr);
  try {
    // The dataset dies when this block is left, before the session goes.
    std::unique_ptr<TZantrelCustomDataset> Dataset;
    if (DatasetClass)
      Dataset = DatasetClass();
    if (!Dataset)
      DatabaseError(SZtlNoCatalogDataset);
    Dataset->SetSession(&Session);
    Read(*Dataset);
  } catch (...) {
    ZtlReleaseAfterFailure(&Session, [&Session] { Session.CloseSession(nullptr); });
    throw;
  }
  Session.CloseSession(nullptr);
}

// Catalog names may come blank-padded from fixed-width columns.
std::string FieldText(const TDataSet& Dataset, const char* FieldName) {
  return TrimRight(Dataset.FieldByName(FieldName)->GetAsString());
}

// Runs the dataset's statement and adds every row's NameField to List, as
// "owner.name" (the owner from user_name) when WithOwner.
void ReadOwnedNames(TZantrelCustomDataset& Dataset, const char* NameField, bool WithOwner,
                    TStrings& List) {
  Dataset.Open();
  while (!Dataset.Eof()) {
    std::string Name = FieldText(Dataset, NameField);
    if (WithOwner)
      Name = FieldText(Dataset, "user_name") + "." + Name;
    List.Add(Name);
    Dataset.Next();
  }
  Dataset.Close();
}

} // namespace

void ZtlGetDatabaseNames(TStrings& List) {
  TStringList Names;
  Names.SetSorted(true);
  TScreen& S = Screen();
  for (int I = 0; I < S.GetFormCount(); ++I)
    AddSessionsOf(*S.GetForm(I), Names);
  for (int I = 0; I < S.GetDataModuleCount(); ++I)
    AddSessionsOf(*S.GetDataModule(I), Names);
  List.Assign(&Names);
}

TZantrelSession* ZtlFindDatabase(const std::string& DatabaseName) {
  TStringList Names;
  ZtlGetDatabaseNames(Names);
  const std::string Wanted = DatabaseListName(DatabaseName);
  for (int I = 0; I < Names.Count(); ++I) {
    if (CompareText(Names[I], Wanted) == 0)
      return static_cast<TZantrelSession*>(Names.Objects(I));
  }
  return nullptr;
}

void ZtlGetTableNames(const std::string& DatabaseName, bool AllCreators, bool WithOwner,
                      TStrings& List, const TZantrelDatasetClass& DatasetClass) {
  FillList(List, [&] {
    TZantrelSession* const Session = ZtlFindDatabase(DatabaseName);
    if (!Session)
      return;
    WithCatalogDataset(*Session, DatasetClass, [&](TZantrelCustomDataset& Dataset) {
      TStringList& SQL = *Dataset.GetSQL();
      SQL.Add("select user_name, table_name from sys.systable, sys.sysuserperms where "
              "creator=user_id and table_type='BASE'");
      if (!AllCreators)
        SQL.Add(" and creator=1");
      SQL.Add(" order by 1,2");
      ReadOwnedNames(Dataset, "table_name", WithOwner, List);
    });
  });
}

void ZtlGetStoredProcNames(const std::string& DatabaseName, bool WithOwner, TStrings& List,
                           const TZantrelDatasetClass& DatasetClass) {
  FillList(List, [&] {
    TZantrelSession* const Session = ZtlFindDatabase(DatabaseName);
    if (!Session)
      return;
    WithCatalogDataset(*Session, DatasetClass, [&](TZantrelCustomDataset& Dataset) {
      Dataset.GetSQL()->Add("select user_name, proc_name from sys.sysprocedure, "
                            "sys.sysuserperms where creator=user_id order by 1,2");
      ReadOwnedNames(Dataset, "proc_name", WithOwner, List);
    });
  });
}

void ZtlGetFieldNames(const std::string& DatabaseName, const std::string& TableName, TStrings& List,
                      const TZantrelDatasetClass& DatasetClass) {
  FillList(List, [&] {
    TZantrelSession* const Session = ZtlFindDatabase(DatabaseName);
    std::string Owner;
    std::string Table = TableName;
    if (const std::size_t Dot = TableName.find('.'); Dot != std::string::npos) {
      Owner = Trim(std::string_view(TableName).substr(0, Dot));
      Table = TableName.substr(Dot + 1);
    }
    if (!Session || Table.empty())
      return;
    WithCatalogDataset(*Session, DatasetClass, [&](TZantrelCustomDataset& Dataset) {
      std::string Statement =
          "select column_name from sys.systable st, sys.syscolumn sc, sys.sysuserperms up "
          "where st.table_id=sc.table_id and creator=user_id and table_name=:table_name ";
      if (!Owner.empty())
        Statement += "and user_name=:user_name ";
      Statement += "order by column_id";
      Dataset.GetSQL()->Add(Statement);
      // The host-variable markers gave the dataset these parameters.
      Dataset.ParamByName("table_name")->SetAsString(Table);
      if (!Owner.empty())
        Dataset.ParamByName("user_name")->SetAsString(Owner);
      Dataset.Open();
      while (!Dataset.Eof()) {
        List.Add(FieldText(Dataset, "column_name"));
        Dataset.Next();
      }
      Dataset.Close();
    });
  });
}

} // namespace ztl
