// Registration of the framework's data components for form files: the data
// source, every field class with the properties persistent fields store, and
// the events a dataset class publishes.
#pragma once

#include "framework/classes/TypInfo.h"
#include "framework/db/DataSet.h"

namespace ztl {

// Registers TDataSet, TDataSource, TField and every field class with their
// published properties and defaults. Calling it again does nothing.
void RegisterDBClasses();

// Publishes the dataset events on the registered dataset class C, in the
// order form files store them. A dataset class calls it where the events
// belong among its own properties.
template <class C>
void RegisterDataSetEvents() {
  static_assert(std::is_base_of_v<TDataSet, C>, "dataset events belong to datasets");
  struct TEvent {
    const char* Name;
    TDataSetNotifyEvent TDataSet::*Member;
  };
  static const TEvent Notify[] = {
      {"BeforeOpen", &TDataSet::BeforeOpen},       {"AfterOpen", &TDataSet::AfterOpen},
      {"BeforeClose", &TDataSet::BeforeClose},     {"AfterClose", &TDataSet::AfterClose},
      {"BeforeInsert", &TDataSet::BeforeInsert},   {"AfterInsert", &TDataSet::AfterInsert},
      {"BeforeEdit", &TDataSet::BeforeEdit},       {"AfterEdit", &TDataSet::AfterEdit},
      {"BeforePost", &TDataSet::BeforePost},       {"AfterPost", &TDataSet::AfterPost},
      {"BeforeCancel", &TDataSet::BeforeCancel},   {"AfterCancel", &TDataSet::AfterCancel},
      {"BeforeDelete", &TDataSet::BeforeDelete},   {"AfterDelete", &TDataSet::AfterDelete},
      {"BeforeScroll", &TDataSet::BeforeScroll},   {"AfterScroll", &TDataSet::AfterScroll},
      {"BeforeRefresh", &TDataSet::BeforeRefresh}, {"AfterRefresh", &TDataSet::AfterRefresh},
      {"OnCalcFields", &TDataSet::OnCalcFields}};
  for (const TEvent& E : Notify)
    RegisterEvent<C, TDataSetNotifyEvent>(E.Name, E.Member, "TDataSetNotifyEvent");
  RegisterEvent<C, TDataSetErrorEvent>("OnDeleteError", &TDataSet::OnDeleteError,
                                       "TDataSetErrorEvent");
  RegisterEvent<C, TDataSetErrorEvent>("OnEditError", &TDataSet::OnEditError,
                                       "TDataSetErrorEvent");
  RegisterEvent<C, TDataSetNotifyEvent>("OnNewRecord", &TDataSet::OnNewRecord,
                                        "TDataSetNotifyEvent");
  RegisterEvent<C, TDataSetErrorEvent>("OnPostError", &TDataSet::OnPostError,
                                       "TDataSetErrorEvent");
}

} // namespace ztl
