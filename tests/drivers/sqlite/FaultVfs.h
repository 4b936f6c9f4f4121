// A VFS for the SQLite driver's tests that wraps the library's default one
// and fails a chosen file operation on demand, the way a failing disk, a full
// disk or a lost lock would.
#pragma once

#include <sqlite3.h>

#include <string>

namespace ztl::test {

// The file operations a fault can hit, each with the result code a real
// failure of that kind gives.
enum class TFault {
  Read,     // SQLITE_IOERR_READ
  Write,    // SQLITE_IOERR_WRITE
  Sync,     // SQLITE_IOERR_FSYNC
  Lock,     // SQLITE_IOERR_LOCK
  Truncate, // SQLITE_IOERR_TRUNCATE
  Delete,   // SQLITE_IOERR_DELETE (the end of a rollback journal)
  DiskFull, // SQLITE_FULL, on a write
};

// The result code the operation of Kind fails with.
int FaultResultCode(TFault Kind);
// A name for messages ("read", "disk full").
const char* FaultName(TFault Kind);

// The fault-injecting VFS, registered once per process under Name in the
// same SQLite library the driver loads (a dlopen of the same file returns the
// already loaded copy), never as the default. A connection uses it through
// the URI parameter "vfs=" + Name.
//
// While armed, operations of the armed kind on any file of the VFS are
// counted from 1, and the Nth fails (that one only: the disk "recovers", as
// a transient fault would). Every other operation reaches the default VFS.
class TFaultVfs {
public:
  static constexpr const char* Name = "ztl-fault";

  // Registers the VFS on first use. Raises std::runtime_error when the
  // library cannot be reached.
  static void Register();
  // The URI that opens Path through the VFS.
  static std::string Uri(const std::string& Path);

  // Fails the Nth operation of Kind from now on.
  static void Arm(TFault Kind, int N);
  // No more faults; the counters stay readable.
  static void Disarm();
  // Whether the armed fault was delivered since the last Arm.
  static bool Fired();

  // Makes the disk behave as if existing files could not be written (they
  // open read-only, as the default VFS opens a file it may only read) and no
  // new file could be made (a read-only directory: no rollback journal).
  // Without root rights the tests can use real permissions; with them,
  // this is the only way to see the same.
  static void SetReadOnlyFiles(bool Value);
  static void SetReadOnlyDirectory(bool Value);
};

} // namespace ztl::test
