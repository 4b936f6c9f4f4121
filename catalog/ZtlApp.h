// Catalog helpers: the databases of the running application (one per live
// session component) and the tables, stored procedures and columns of one
// of them, read from the server's system catalog.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "dataset/ZtlCustomDataset.h"
#include "framework/classes/Strings.h"

namespace ztl {

// Raised when a catalog query is due and no dataset could be made for it.
inline constexpr const char* SZtlNoCatalogDataset =
    "No query dataset class is given to read the catalog with";

// The driver's query class, as the catalog routines need it: a call that
// makes a new dataset of that class with no owner, which the routine then
// owns, uses for one query and frees. ZtlDatasetClass<T>() gives the one of
// class T.
using TZantrelDatasetClass = std::function<std::unique_ptr<TZantrelCustomDataset>()>;

template <class T>
TZantrelDatasetClass ZtlDatasetClass() {
  static_assert(std::is_base_of_v<TZantrelCustomDataset, T>,
                "the catalog reads through a query dataset");
  return [] { return std::unique_ptr<TZantrelCustomDataset>(std::make_unique<T>(nullptr)); };
}

// Replaces List with the list names of the application's databases, each
// with its session as the line's object, in case-insensitive order.
//
// Sessions are found among the components owned by the screen's forms and
// then by its data modules, each in its own order; a session whose
// DatabaseName is blank, or that is being destroyed, is skipped. A list
// name is the file name part of DatabaseName without its extension
// (c:\data\Sales.db gives Sales). When two sessions give the same name
// (ignoring case) the first one found is listed.
void ZtlGetDatabaseNames(TStrings& List);

// The session whose list name equals the list name of DatabaseName under
// CompareText (so sales, SALES.DB and d:\other\sales.db all find the
// session of c:\data\Sales.db), or null.
TZantrelSession* ZtlFindDatabase(const std::string& DatabaseName);

// Fill List with the base tables of the database (all creators', or only
// the first user's when AllCreators is false), ordered by owner and name,
// as "owner.table" when WithOwner is true and as the bare table name
// otherwise. Without a session for DatabaseName List is left empty.
//
// The session is held open (OpenSession with no component) for the call,
// and a new dataset made by DatasetClass reads the catalog. Whatever
// happens, the dataset is freed, then the session released, then List's
// update ended; an error then reaches the caller with List holding the
// names read so far. A failure of that clean-up while an error is already
// on its way goes to the application's exception handler instead.
void ZtlGetTableNames(const std::string& DatabaseName, bool AllCreators, bool WithOwner,
                      TStrings& List, const TZantrelDatasetClass& DatasetClass);

// As ZtlGetTableNames, for the database's stored procedures (of every
// creator).
void ZtlGetStoredProcNames(const std::string& DatabaseName, bool WithOwner, TStrings& List,
                           const TZantrelDatasetClass& DatasetClass);

// Fills List with the column names of table TableName in column order.
// "owner.table" restricts the search to that owner: the text before the
// first full stop, trimmed, is the owner and the rest, as written, the
// table. An empty table part, or no session for DatabaseName, leaves List
// empty without touching the session. Clean-up and errors as for
// ZtlGetTableNames.
void ZtlGetFieldNames(const std::string& DatabaseName, const std::string& TableName, TStrings& List,
                      const TZantrelDatasetClass& DatasetClass);

} // namespace ztl
