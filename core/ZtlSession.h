// The session component: one connection to a database through one client
// library, its user transaction, the record of the last error, and the lists
// of cursors and components that use it.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

#include "core/ZtlErrors.h"
#include "framework/classes/Classes.h"
#include "framework/rtl/Events.h"

namespace ztl {

class TZantrelSQL;

// TZantrelSession is the abstract base of every driver's session.
//
// States: disconnected (Handle is null) or connected; independently of that,
// the session holds one reference on its driver's client library
// (LibraryLoaded) or not. The reference is taken by the first Open or
// SetHandle and kept until the session is destroyed; Close does not give it
// back. Invariants: HandleShared implies Handle != nullptr; OpenCount is 0
// whenever Handle is null.
//
// The session owns neither cursors nor datasets. Closing it unprepares every
// linked cursor; destroying it leaves every linked cursor without a session.
//
// Writing a driver: override the pure virtual operations (library loading,
// connect, disconnect, handle adoption, Check, commit, rollback), keep the
// library reference count in a static of the driver class, and report a
// failure either by raising through RaiseLastError or by storing a negative
// code with SetLastError and returning false. C++ cannot reach a descendant's
// overrides from a base destructor, so every class that overrides a driver
// operation calls DestroySession() first thing in its own destructor.
class TZantrelSession : public TComponent {
  // The cursor links itself through AddQuery/RemoveQuery and reaches Check and
  // the automatic commit, which are driver operations.
  friend class TZantrelSQL;

public:
  explicit TZantrelSession(TComponent* AOwner);
  ~TZantrelSession() override;

  // False too once the driver found that the server ended the connection;
  // the next Open then closes what is left of it and connects anew.
  bool GetConnected() const { return Handle != nullptr && !ConnectionLost; }
  // While the component is being read from a form only remembers Value, which
  // Loaded applies; otherwise opens (true) or closes (false).
  void SetConnected(bool Value);

  bool GetKeepConnection() const { return KeepConnection; }
  // Turning it off while no component holds the session open disconnects.
  void SetKeepConnection(bool Value);

  void* GetHandle() const { return Handle; }
  // Adopts an outside connection handle (closing the current connection
  // first); such a handle is shared and is never disconnected by this session.
  // A null Value only tells the driver to forget any adopted handle.
  void SetHandle(void* Value);
  bool GetHandleShared() const { return HandleShared; }

  // Components registered through OpenSession, in call order (a component
  // that called twice is listed twice). An index outside 0 .. count-1 raises
  // EListError.
  TComponent* GetDataSet(int Index) const { return DataSets.Get(Index); }
  int GetDataSetCount() const { return DataSets.Count(); }

  // Cursors linked to this session, in linking order.
  TZantrelSQL* GetQuery(int Index) const { return Queries.Get(Index); }
  int GetQueryCount() const { return Queries.Count(); }

  bool GetLibraryLoaded() const { return LibraryLoaded; }
  bool GetInTransaction() const { return InTransaction; }
  int GetOpenCount() const { return OpenCount; }

  bool GetAutoCommit() const { return AutoCommit; }
  void SetAutoCommit(bool Value) { AutoCommit = Value; }
  bool GetOemConvert() const { return OemConvert; }
  void SetOemConvert(bool Value) { OemConvert = Value; }

  // Connection parameters. The base never reads them; a driver publishes
  // those it needs under the meaning it gives them. The catalog helpers take
  // DatabaseName as the path of the database file.
  const std::string& GetLibraryPath() const { return LibraryPath; }
  void SetLibraryPath(const std::string& Value) { LibraryPath = Value; }
  const std::string& GetServerName() const { return ServerName; }
  void SetServerName(const std::string& Value) { ServerName = Value; }
  const std::string& GetDatabaseName() const { return DatabaseName; }
  void SetDatabaseName(const std::string& Value) { DatabaseName = Value; }
  const std::string& GetUserName() const { return UserName; }
  void SetUserName(const std::string& Value) { UserName = Value; }
  const std::string& GetPassword() const { return Password; }
  void SetPassword(const std::string& Value) { Password = Value; }

  // Text and code of the last error raised through RaiseLastError or stored
  // by a driver operation that returned false, and the server's SQLSTATE
  // the driver reads from that code (empty where it has none).
  const std::string& GetLastError() const { return LastError; }
  std::int32_t GetLastErrorCode() const { return LastErrorCode; }
  const std::string& GetLastSQLState() const { return LastSQLState; }
  // Stores an error without raising: the way a driver operation, or a
  // driver's cursor, reports a failure before returning false.
  void SetLastError(const std::string& Msg, std::int32_t Code);

  // Connects unless connected (a lost connection is closed first, as by
  // Close, and does not count): takes the library reference, fires
  // BeforeConnect, lets the driver connect, fires AfterConnect and leaves no
  // user transaction open. If the driver raises, the session stays
  // disconnected (the library reference stays taken) and AfterConnect does
  // not fire. A driver that returns without a handle is reported as
  // "Invalid database handle".
  void Open();
  // Disconnects if connected: unprepares every linked cursor, fires
  // BeforeDisconnect, disconnects (or forgets a shared handle), clears the
  // transaction flag and OpenCount, fires AfterDisconnect. While the session
  // is being destroyed the two events are not fired.
  void Close();

  // Holds the session open for Component (which may be null): connects if
  // needed, counts the call and lists Component.
  void OpenSession(TComponent* Component);
  // Releases one hold: removes the first listing of Component, decrements
  // OpenCount (never below 0) and disconnects when nobody holds the session
  // and KeepConnection is off.
  void CloseSession(TComponent* Component);

  // Starts a user transaction; raises "A user transaction is already in
  // progress" (recorded as the last error, code 0) while one is open.
  void StartTransaction();
  // Commit and Rollback end the user transaction whether or not one is open;
  // the driver is always asked.
  void Commit();
  void Rollback();

  // Linking of cursors; only the cursor's session setter and destructor call
  // them. AddQuery appends Query and points its session at this one;
  // RemoveQuery clears that link and removes Query from the list.
  void AddQuery(TZantrelSQL* Query);
  void RemoveQuery(TZantrelSQL* Query);

  // Records Msg and Code as the last error, then raises E(Msg, Code). E is
  // EZantrelException or a descendant (or any package exception built from a
  // message and a code). Never returns.
  template <class E = EZantrelException>
  requires std::derived_from<E, Exception> && std::constructible_from<E, std::string, std::int32_t>
  [[noreturn]] void RaiseLastError(const std::string& Msg, std::int32_t Code) {
    SetLastError(Msg, Code);
    if constexpr (std::constructible_from<E, std::string, std::int32_t, std::string>)
      throw E(Msg, Code, LastSQLState);
    else
      throw E(Msg, Code);
  }

  // Converts Len characters from Src into Dest between the ANSI and the OEM
  // code page (to OEM when ToOem) when OemConvert is set; otherwise Dest is
  // left untouched. Src and Dest may be the same buffer. A negative Len or a
  // missing buffer converts nothing.
  void TranslateChar(const char* Src, char* Dest, std::int32_t Len, bool ToOem) const;

  // Runs a statement directly on the connection. The base runs nothing and
  // returns false.
  virtual bool Execute(const std::string& SQL);
  // Asks the server whether the connection is alive. The base returns 0.
  virtual std::int32_t Ping(const char* P);
  // The SQLSTATE a driver's error code stands for, or empty. A driver whose
  // codes carry the server's state (PostgreSQL's) decodes it here, so that
  // every error stored or restored by its code brings its state along.
  virtual std::string SQLStateOfCode(std::int32_t Code) const;

  TNotifyEvent AfterConnect;     // after a connection is made or adopted
  TNotifyEvent BeforeConnect;    // before the driver is asked to connect
  TNotifyEvent AfterDisconnect;  // after the connection is gone
  TNotifyEvent BeforeDisconnect; // before the driver is asked to disconnect

  // Applies the Connected value read from the form. At design time a failing
  // connection is shown in a message box and loading goes on; at run time the
  // error propagates.
  void Loaded() override;

protected:
  // The driver's client-library reference count, one per driver class.
  virtual std::int32_t GetLibraryRefCount() = 0;
  virtual void SetLibraryRefCount(std::int32_t Value) = 0;

  // Takes this session's reference on the client library, loading and
  // initialising the library when no session of the driver holds it. If
  // loading or initialising raises, the count and LibraryLoaded stay as they
  // were.
  virtual void InternalLibraryHandleNeeded();
  virtual void InternalLoadLibrary() = 0;
  virtual void InternalFreeLibrary() = 0;
  virtual void InternalInitLibrary() = 0;
  virtual void SetLibraryLoaded(bool Value);

  // Stores a non-null connection handle in Handle, or raises.
  virtual void InternalConnect(void*& AHandle) = 0;
  virtual void InternalDisconnect() = 0;
  // Adopts an outside handle, or forgets the adopted one when Value is null.
  virtual void InternalSetHandle(void* Value) = 0;
  // Examines a client-library result code for the cursor; drivers decide what
  // the codes and the result mean and whether to raise (RaiseError).
  virtual std::int32_t Check(void* AHandle, std::int32_t Code, std::int32_t Code2,
                             bool RaiseError) = 0;
  // Automatic is true only for the commit a cursor issues after a statement
  // outside a user transaction.
  virtual void InternalCommit(bool Automatic) = 0;
  virtual void InternalRollback() = 0;

  // Unprepares (both statements of) every linked cursor.
  void InternalCloseQueries();

  // The driver-facing half of destruction: marks the component as being
  // destroyed, closes without the disconnect events and gives back the
  // library reference (freeing the library with the last one). Safe to call
  // more than once; every class that overrides a driver operation calls it
  // first in its destructor. Errors raised by the driver here go to the
  // application's exception handler, since a destructor cannot raise.
  void DestroySession();

  // Removes a destroyed component from DataSets so the list never dangles.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TTypedList<TZantrelSQL> Queries; // linked cursors, in linking order
  TTypedList<TComponent> DataSets; // one entry per OpenSession not yet closed
  bool AutoCommit = true;          // outside a user transaction, commit after each statement
  bool DriverFlag1 = true;         // free for the driver; the base never reads it
  bool InTransaction = false;      // a user transaction is open
  bool KeepConnection = true;      // stay connected when nobody holds the session open
  std::int32_t OpenCount = 0;      // OpenSession calls not yet matched by CloseSession
  bool HandleShared = false;       // Handle was adopted and must not be disconnected
  void* Handle = nullptr;          // the connection handle; connected while not null
  bool ConnectionLost = false;     // the server ended the connection behind Handle
  std::string LibraryPath;         // connection parameters the driver gives meaning to
  std::string ServerName;
  std::string DatabaseName; // the catalog helpers read it as the database file's path
  std::string UserName;
  std::string Password;
  bool OemConvert = false;        // translate statement text from ANSI to OEM
  bool StreamedConnected = false; // Connected as read from the form, applied by Loaded
  std::string LastError;          // text of the last error
  std::int32_t LastErrorCode = 0; // its code
  std::string LastSQLState;       // the state its code stands for, or empty
  bool LibraryLoaded = false;     // this session counts in the driver's library reference count
  bool DriverFlag2 = false;       // free for the driver; the base never reads it

private:
  bool SessionDestroyed = false; // DestroySession has run
};

} // namespace ztl
