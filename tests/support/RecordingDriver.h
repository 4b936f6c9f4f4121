// The recording test driver's session and the call log it shares with its
// cursors: every driver operation the base classes call is written to the
// log in order, and any of them can be told to fail.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZtlSession.h"

namespace ztl {

// How an armed failure shows itself.
enum TRecordingFailMode {
  rfRaise,      // raise EZantrelException through the session's RaiseLastError
  rfReturnFalse // store text and code as the session's last error and report failure
};

// The ordered log of driver calls and the plan of failures, shared by a
// recording session and its recording cursors so that a test compares one
// vector. A call is one string: the operation's name, followed by its
// arguments in parentheses where they matter ("InternalCommit(True)").
class TRecordingLog {
public:
  struct TFailure {
    std::string Operation;   // name without arguments, e.g. "InternalCommit"
    TRecordingFailMode Mode; // raise or report
    bool Once;               // disarmed after the first hit
    std::int32_t Code;       // error code given with the failure
    std::string Message;     // error text given with the failure
  };

  std::vector<std::string> Calls; // every call received, in order

  // Arms a failure for every call of Operation (its name without arguments).
  // An empty Message becomes "<Operation> failed". A later arming of the same
  // operation replaces the earlier one.
  void FailAt(const std::string& Operation, TRecordingFailMode Mode = rfRaise, bool Once = true,
              std::int32_t Code = -1, const std::string& Message = {});
  void ClearFailures() { Failures.clear(); }
  // Forgets the calls and the armed failures.
  void Clear();

  // Records Call, then applies the failure armed for its operation, if any.
  // rfRaise raises through Session (directly when there is none); rfReturnFalse
  // stores the error in Session and returns false. Returns true when the
  // operation should go on normally.
  bool Enter(const std::string& Call, TZantrelSession* Session);

  // The calls without those of the named operations (names without arguments),
  // for tests that do not care about, say, "GetLibraryRefCount".
  std::vector<std::string> Except(std::initializer_list<std::string_view> Operations) const;

  // How many calls of Operation (its name without arguments) were recorded.
  int CountOf(std::string_view Operation) const;
  // Whether Call was recorded, arguments and all.
  bool Has(std::string_view Call) const;

  // The name part of a call: "InternalCommit(True)" gives "InternalCommit".
  static std::string_view OperationOf(std::string_view Call);

private:
  std::optional<TFailure> TakeFailure(std::string_view Operation);

  std::vector<TFailure> Failures; // armed failures, at most one per operation
};

// A session of the recording driver. It connects nowhere: the "library" and
// the "connection" are tokens, and each driver operation only records itself
// in the log (and fails when told to). The library reference count is one per
// driver class, a static shared by every TRecordingSession, as a real
// driver's would be.
//
// For operations without a result, rfReturnFalse records the error and skips
// the operation's work, which is how a careless driver would behave; for
// InternalConnect that means no handle is delivered.
class TRecordingSession : public TZantrelSession {
public:
  explicit TRecordingSession(TComponent* AOwner = nullptr,
                             std::shared_ptr<TRecordingLog> Log = nullptr);
  ~TRecordingSession() override;

  TRecordingLog& GetLog() const { return *Log; }
  const std::shared_ptr<TRecordingLog>& GetSharedLog() const { return Log; }

  // The driver-wide library state, for tests.
  static std::int32_t GetDriverLibraryRefCount() { return LibraryRefCount; }
  static bool GetDriverLibraryLoaded() { return LibraryHandle != nullptr; }

  // The outside handle adopted through SetHandle (null when none).
  void* GetAdoptedHandle() const { return AdoptedHandle; }

  bool Execute(const std::string& SQL) override;
  std::int32_t Ping(const char* P) override;

protected:
  std::int32_t GetLibraryRefCount() override;
  void SetLibraryRefCount(std::int32_t Value) override;
  void InternalLoadLibrary() override;
  void InternalFreeLibrary() override;
  void InternalInitLibrary() override;
  void SetLibraryLoaded(bool Value) override;
  void InternalConnect(void*& AHandle) override;
  void InternalDisconnect() override;
  void InternalSetHandle(void* Value) override;
  std::int32_t Check(void* AHandle, std::int32_t Code, std::int32_t Code2,
                     bool RaiseError) override;
  void InternalCommit(bool Automatic) override;
  void InternalRollback() override;

private:
  bool Enter(const std::string& Call) { return Log->Enter(Call, this); }

  static inline std::int32_t LibraryRefCount = 0; // sessions of this driver holding the library
  static inline void* LibraryHandle = nullptr;    // the "loaded library", a token
  static inline int LibraryToken = 0;             // what LibraryHandle points at

  std::shared_ptr<TRecordingLog> Log; // shared with the cursors of this session
  int Connection = 0;                 // what the connection handle points at
  void* AdoptedHandle = nullptr;      // handle given through SetHandle
};

} // namespace ztl
