// The recording test driver's session and its shared call log.
#include "tests/support/RecordingDriver.h"

#include <algorithm>

#include "core/ZtlErrors.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

namespace {

const char* BoolText(bool Value) {
  return Value ? "True" : "False";
}

} // namespace

void TRecordingLog::FailAt(const std::string& Operation, TRecordingFailMode Mode, bool Once,
                           std::int32_t Code, const std::string& Message) {
  TFailure Failure{Operation, Mode, Once, Code, Message.empty() ? Operation + " failed" : Message};
  for (TFailure& Armed : Failures)
    if (Armed.Operation == Operation) {
      Armed = std::move(Failure);
      return;
    }
  Failures.push_back(std::move(Failure));
}

void TRecordingLog::Clear() {
  Calls.clear();
  Failures.clear();
}

std::string_view TRecordingLog::OperationOf(std::string_view Call) {
  return Call.substr(0, Call.find('('));
}

std::optional<TRecordingLog::TFailure> TRecordingLog::TakeFailure(std::string_view Operation) {
  auto It = std::find_if(Failures.begin(), Failures.end(),
                         [Operation](const TFailure& F) { return F.Operation == Operation; });
  if (It == Failures.end())
    return std::nullopt;
  TFailure Failure = *It;
  if (Failure.Once)
    Failures.erase(It);
  return Failure;
}

bool TRecordingLog::Enter(const std::string& Call, TZantrelSession* Session) {
  Calls.push_back(Call);
  const std::optional<TFailure> Failure = TakeFailure(OperationOf(Call));
  if (!Failure)
    return true;
  if (Failure->Mode == rfRaise) {
    if (Session)
      Session->RaiseLastError(Failure->Message, Failure->Code);
    throw EZantrelException(Failure->Message, Failure->Code);
  }
  if (Session)
    Session->SetLastError(Failure->Message, Failure->Code);
  return false;
}

std::vector<std::string>
TRecordingLog::Except(std::initializer_list<std::string_view> Operations) const {
  std::vector<std::string> Kept;
  for (const std::string& Call : Calls)
    if (std::find(Operations.begin(), Operations.end(), OperationOf(Call)) == Operations.end())
      Kept.push_back(Call);
  return Kept;
}

int TRecordingLog::CountOf(std::string_view Operation) const {
  return static_cast<int>(std::count_if(Calls.begin(), Calls.end(), [&](const std::string& Call) {
    return OperationOf(Call) == Operation;
  }));
}

bool TRecordingLog::Has(std::string_view Call) const {
  return std::find(Calls.begin(), Calls.end(), Call) != Calls.end();
}

TRecordingSession::TRecordingSession(TComponent* AOwner, std::shared_ptr<TRecordingLog> Log)
    : TZantrelSession(AOwner), Log(Log ? std::move(Log) : std::make_shared<TRecordingLog>()) {}

TRecordingSession::~TRecordingSession() {
  // Our overrides vanish once this destructor returns, so disconnecting and
  // releasing the library must happen now.
  DestroySession();
}

std::int32_t TRecordingSession::GetLibraryRefCount() {
  Enter("GetLibraryRefCount");
  return LibraryRefCount;
}

void TRecordingSession::SetLibraryRefCount(std::int32_t Value) {
  if (Enter("SetLibraryRefCount(" + IntToStr(Value) + ")"))
    LibraryRefCount = Value;
}

void TRecordingSession::InternalLoadLibrary() {
  // A real driver would dlopen its client library here and bind each entry
  // point with ZtlAssignProcAddress, falling back to ZtlDummyProc.
  if (Enter("InternalLoadLibrary"))
    LibraryHandle = &LibraryToken;
}

void TRecordingSession::InternalFreeLibrary() {
  if (Enter("InternalFreeLibrary"))
    LibraryHandle = nullptr;
}

void TRecordingSession::InternalInitLibrary() {
  Enter("InternalInitLibrary");
}

void TRecordingSession::SetLibraryLoaded(bool Value) {
  if (Enter(std::string("SetLibraryLoaded(") + BoolText(Value) + ")"))
    TZantrelSession::SetLibraryLoaded(Value);
}

void TRecordingSession::InternalConnect(void*& AHandle) {
  if (Enter("InternalConnect"))
    AHandle = &Connection;
}

void TRecordingSession::InternalDisconnect() {
  Enter("InternalDisconnect");
}

void TRecordingSession::InternalSetHandle(void* Value) {
  if (Enter(Value ? "InternalSetHandle(handle)" : "InternalSetHandle(nil)"))
    AdoptedHandle = Value;
}

std::int32_t TRecordingSession::Check(void* /*AHandle*/, std::int32_t Code, std::int32_t Code2,
                                      bool RaiseError) {
  if (!Enter("Check(" + IntToStr(Code) + "," + IntToStr(Code2) + "," + BoolText(RaiseError) + ")"))
    return LastErrorCode;
  // A negative code is a client-library failure: it becomes the last error,
  // raised when the caller asks for it.
  if (Code < 0) {
    const std::string Msg = Format("Client library error %d", {std::int64_t{Code}});
    if (RaiseError)
      RaiseLastError(Msg, Code);
    SetLastError(Msg, Code);
  }
  return Code;
}

void TRecordingSession::InternalCommit(bool Automatic) {
  Enter(std::string("InternalCommit(") + BoolText(Automatic) + ")");
}

void TRecordingSession::InternalRollback() {
  Enter("InternalRollback");
}

bool TRecordingSession::Execute(const std::string& SQL) {
  return Enter("Execute(" + SQL + ")");
}

std::int32_t TRecordingSession::Ping(const char* /*P*/) {
  return Enter("Ping") ? 0 : LastErrorCode;
}

} // namespace ztl
