// The session component: library reference, connection, transactions,
// cursor and component registration, last-error record and destruction.
#include "core/ZtlSession.h"

#include <cassert>
#include <exception>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"
#include "framework/rtl/Application.h"
#include "framework/rtl/Dialogs.h"
#include "framework/text/OemCodePage.h"

namespace ztl {

TZantrelSession::TZantrelSession(TComponent* AOwner) : TComponent(AOwner) {}

TZantrelSession::~TZantrelSession() {
  Destroying();
  // Every driver runs DestroySession from its own destructor; by now its
  // overrides are gone, so only the steps that do not reach the driver are
  // left. A session still connected or still counted here means a driver
  // forgot, and its connection and library reference can no longer be given
  // back.
  assert(SessionDestroyed || (!Handle && !LibraryLoaded));
  if (!SessionDestroyed && Handle) {
    try {
      InternalCloseQueries();
    } catch (...) {
      Application().HandleException(this);
    }
  }
  // The components that held the session open are not told: they only lose
  // their listing here.
  DataSets.Clear();
  while (Queries.Count() > 0)
    RemoveQuery(Queries.Last());
}

void TZantrelSession::DestroySession() {
  if (SessionDestroyed)
    return;
  SessionDestroyed = true;
  Destroying();
  try {
    Close();
  } catch (...) {
    Application().HandleException(this);
  }
  if (!LibraryLoaded)
    return;
  try {
    SetLibraryLoaded(false);
    SetLibraryRefCount(GetLibraryRefCount() - 1);
    if (GetLibraryRefCount() == 0)
      InternalFreeLibrary();
  } catch (...) {
    Application().HandleException(this);
  }
}

void TZantrelSession::SetConnected(bool Value) {
  if (InState(csReading)) {
    StreamedConnected = Value;
    return;
  }
  if (Value)
    Open();
  else
    Close();
}

void TZantrelSession::SetKeepConnection(bool Value) {
  if (Value == KeepConnection)
    return;
  KeepConnection = Value;
  if (!Value && OpenCount == 0)
    Close();
}

void TZantrelSession::SetHandle(void* Value) {
  if (GetConnected())
    Close();
  if (!Value) {
    InternalSetHandle(nullptr);
    return;
  }
  InternalLibraryHandleNeeded();
  if (BeforeConnect)
    BeforeConnect(this);
  InternalSetHandle(Value);
  Handle = Value;
  HandleShared = true;
  if (AfterConnect)
    AfterConnect(this);
}

void TZantrelSession::SetLastError(const std::string& Msg, std::int32_t Code) {
  LastError = Msg;
  LastErrorCode = Code;
  LastSQLState = Code < 0 ? SQLStateOfCode(Code) : std::string();
}

std::string TZantrelSession::SQLStateOfCode(std::int32_t) const {
  return {};
}

void TZantrelSession::InternalLibraryHandleNeeded() {
  if (LibraryLoaded)
    return;
  if (GetLibraryRefCount() == 0) {
    InternalLoadLibrary();
    InternalInitLibrary();
  }
  SetLibraryRefCount(GetLibraryRefCount() + 1);
  SetLibraryLoaded(true);
}

void TZantrelSession::SetLibraryLoaded(bool Value) {
  LibraryLoaded = Value;
}

void TZantrelSession::Open() {
  // What the server dropped is cleaned up like any connection: cursors
  // unprepared, the events fired, the driver's handle released.
  if (Handle && ConnectionLost)
    Close();
  if (Handle)
    return;
  InternalLibraryHandleNeeded();
  if (BeforeConnect)
    BeforeConnect(this);
  InternalSetHandle(nullptr);
  // The driver fills a local first, so that a driver raising half-way never
  // leaves the session looking connected.
  void* NewHandle = nullptr;
  InternalConnect(NewHandle);
  if (!NewHandle)
    RaiseLastError(LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE), 0);
  Handle = NewHandle;
  // A fresh connection has no user transaction. Cleared before AfterConnect
  // so that a transaction the handler starts is not forgotten.
  InTransaction = false;
  if (AfterConnect)
    AfterConnect(this);
}

void TZantrelSession::Close() {
  if (!Handle)
    return;
  InternalCloseQueries();
  const bool Notify = !InState(csDestroying);
  if (Notify && BeforeDisconnect)
    BeforeDisconnect(this);
  if (HandleShared) {
    InternalSetHandle(nullptr);
    HandleShared = false;
  } else {
    InternalDisconnect();
  }
  InTransaction = false;
  Handle = nullptr;
  ConnectionLost = false;
  OpenCount = 0;
  if (Notify && AfterDisconnect)
    AfterDisconnect(this);
}

void TZantrelSession::InternalCloseQueries() {
  // The count is taken once: cursors linked while unpreparing are left alone.
  // A cursor that leaves the list meanwhile only shortens the walk.
  const int Count = Queries.Count();
  for (int I = 0; I < Count && I < Queries.Count(); ++I) {
    TZantrelSQL* const Query = Queries.Get(I);
    Query->UnprepareOpen();
    Query->UnprepareExecute();
  }
}

void TZantrelSession::OpenSession(TComponent* Component) {
  Open();
  ++OpenCount;
  if (Component) {
    DataSets.Add(Component);
    // Lets the session drop a component destroyed while still listed.
    FreeNotification(Component);
  }
}

void TZantrelSession::CloseSession(TComponent* Component) {
  if (Component)
    DataSets.Remove(Component);
  if (OpenCount > 0)
    --OpenCount;
  if (OpenCount == 0 && !KeepConnection)
    Close();
}

void TZantrelSession::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || !AComponent)
    return;
  while (DataSets.Remove(AComponent) >= 0) {
  }
}

void TZantrelSession::StartTransaction() {
  if (InTransaction)
    RaiseLastError(LoadZtlStr(ZTL_ERR_SESS_TRANS_ACTIVE), 0);
  InternalCommit(false);
  InTransaction = true;
}

void TZantrelSession::Commit() {
  InternalCommit(false);
  InTransaction = false;
}

void TZantrelSession::Rollback() {
  InternalRollback();
  InTransaction = false;
}

void TZantrelSession::AddQuery(TZantrelSQL* Query) {
  if (!Query)
    return;
  // A cursor is listed by one session, once: linking it anew unlinks it from
  // wherever it was, so no list is left holding it after it is destroyed.
  if (Query->Session)
    Query->Session->RemoveQuery(Query);
  Queries.Add(Query);
  Query->Session = this;
}

void TZantrelSession::RemoveQuery(TZantrelSQL* Query) {
  if (!Query)
    return;
  if (Query->Session == this)
    Query->Session = nullptr;
  Queries.Remove(Query);
}

void TZantrelSession::TranslateChar(const char* Src, char* Dest, std::int32_t Len,
                                    bool ToOem) const {
  if (!OemConvert || Len <= 0 || !Src || !Dest)
    return;
  const auto Count = static_cast<std::size_t>(Len);
  if (ToOem)
    CharToOemBuff(Src, Dest, Count);
  else
    OemToCharBuff(Src, Dest, Count);
}

bool TZantrelSession::Execute(const std::string& /*SQL*/) {
  return false;
}

std::int32_t TZantrelSession::Ping(const char* /*P*/) {
  return 0;
}

void TZantrelSession::Loaded() {
  TComponent::Loaded();
  if (!StreamedConnected)
    return;
  try {
    Open();
  } catch (const std::exception& E) {
    // At design time a form must still load when its database is not
    // reachable; the developer sees why and can fix the properties.
    if (!InState(csDesigning))
      throw;
    MessageBox(szZantrelLibraryName, E.what(), mbIconError);
  }
}

} // namespace ztl
