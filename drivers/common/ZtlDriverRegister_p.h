// Internal to the bundled drivers: may change without notice.
//
// The part of a driver's registration for form files that every driver
// shares: the abstract bases, the order of the steps, and the rule that
// Connected comes last.
#pragma once

#include <typeinfo>

#include "core/ZtlSQL.h"
#include "core/ZtlSession.h"
#include "dataset/ZtlCustomDataset.h"
#include "dataset/ZtlStoredProc.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

// Registers TZantrelSession and TZantrelSQL (with its Session property) when
// nobody did before, so that a driver's classes have their place in the
// hierarchy; a later registration of the same class keeps this entry.
void ZtlRegisterDriverBases();

// Registers a driver's classes once: its query and stored procedure with
// the properties their bases publish, its session with the published
// properties that Properties registers (in the order form files and the
// inspector show them) and then Connected, last, so that a form connects
// only once every other property is in place, and its cursor. Safe to call
// more than once.
template <class TSession, class TSQL, class TQuery, class TStoredProc, class F>
void ZtlRegisterDriverClasses(F&& Properties) {
  if (!FindClassInfo(typeid(TQuery))) {
    RegisterZantrelStoredProcClass(); // also the dataset and query bases
    RegisterClass<TQuery, TZantrelCustomDataset>();
    RegisterClass<TStoredProc, TZantrelCustomStoredProc>();
  }
  if (FindClassInfo(typeid(TSession)))
    return;
  ZtlRegisterDriverBases();
  RegisterClass<TSession, TZantrelSession>();
  Properties();
  RegisterProperty<TSession>("Connected", &TSession::GetConnected, &TSession::SetConnected, false);
  RegisterClass<TSQL, TZantrelSQL>();
}

} // namespace ztl
