// The fault-injecting VFS of the SQLite driver's tests: a thin shell around
// the default VFS whose file methods count calls and fail the armed one.
#include "tests/drivers/sqlite/FaultVfs.h"

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

namespace ztl::test {
namespace {

// One open file: the shell SQLite sees, followed in the same allocation by
// the default VFS's own file object.
struct TFaultFile {
  sqlite3_file Base;  // what SQLite holds; its methods are ours
  sqlite3_file* Real; // the wrapped file, right after this struct
};

struct TState {
  sqlite3_vfs* Real = nullptr; // the default VFS of the library
  sqlite3_vfs Vfs{};           // ours
  bool Armed = false;          // a fault is pending
  TFault Kind = TFault::Read;  // which operation it hits
  int Left = 0;                // calls of that kind until it fires (1: the next)
  bool Fired = false;          // delivered since the last Arm
  bool ReadOnlyFiles = false;  // existing files open read-only
  bool ReadOnlyDir = false;    // no file can be created
};

TState& State() {
  static TState S;
  return S;
}

// Counts one operation that may fail as Kind; true when it must fail now.
bool Hit(TFault Kind) {
  TState& S = State();
  // A full disk shows on writes, so both kinds count the same calls.
  const bool Matches = S.Kind == Kind || (S.Kind == TFault::DiskFull && Kind == TFault::Write);
  if (!S.Armed || !Matches)
    return false;
  if (--S.Left > 0)
    return false;
  S.Armed = false;
  S.Fired = true;
  return true;
}

sqlite3_file* RealOf(sqlite3_file* F) {
  return reinterpret_cast<TFaultFile*>(F)->Real;
}

int Close(sqlite3_file* F) {
  return RealOf(F)->pMethods->xClose(RealOf(F));
}
int Read(sqlite3_file* F, void* Buf, int Amount, sqlite3_int64 Offset) {
  if (Hit(TFault::Read))
    return SQLITE_IOERR_READ;
  return RealOf(F)->pMethods->xRead(RealOf(F), Buf, Amount, Offset);
}
int Write(sqlite3_file* F, const void* Buf, int Amount, sqlite3_int64 Offset) {
  if (Hit(TFault::Write))
    return FaultResultCode(State().Kind);
  return RealOf(F)->pMethods->xWrite(RealOf(F), Buf, Amount, Offset);
}
int Truncate(sqlite3_file* F, sqlite3_int64 Size) {
  if (Hit(TFault::Truncate))
    return SQLITE_IOERR_TRUNCATE;
  return RealOf(F)->pMethods->xTruncate(RealOf(F), Size);
}
int Sync(sqlite3_file* F, int Flags) {
  if (Hit(TFault::Sync))
    return SQLITE_IOERR_FSYNC;
  return RealOf(F)->pMethods->xSync(RealOf(F), Flags);
}
int FileSize(sqlite3_file* F, sqlite3_int64* Size) {
  return RealOf(F)->pMethods->xFileSize(RealOf(F), Size);
}
int Lock(sqlite3_file* F, int Level) {
  if (Hit(TFault::Lock))
    return SQLITE_IOERR_LOCK;
  return RealOf(F)->pMethods->xLock(RealOf(F), Level);
}
int Unlock(sqlite3_file* F, int Level) {
  return RealOf(F)->pMethods->xUnlock(RealOf(F), Level);
}
int CheckReservedLock(sqlite3_file* F, int* Out) {
  return RealOf(F)->pMethods->xCheckReservedLock(RealOf(F), Out);
}
int FileControl(sqlite3_file* F, int Op, void* Arg) {
  return RealOf(F)->pMethods->xFileControl(RealOf(F), Op, Arg);
}
int SectorSize(sqlite3_file* F) {
  return RealOf(F)->pMethods->xSectorSize(RealOf(F));
}
int DeviceCharacteristics(sqlite3_file* F) {
  return RealOf(F)->pMethods->xDeviceCharacteristics(RealOf(F));
}

// Version 1 methods: no shared memory and no memory mapping, so a database
// opened through the VFS keeps a rollback journal and reads every page
// through xRead, where a fault can reach it.
const sqlite3_io_methods Methods = {1,
                                    Close,
                                    Read,
                                    Write,
                                    Truncate,
                                    Sync,
                                    FileSize,
                                    Lock,
                                    Unlock,
                                    CheckReservedLock,
                                    FileControl,
                                    SectorSize,
                                    DeviceCharacteristics,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr};

int Open(sqlite3_vfs*, sqlite3_filename Name, sqlite3_file* F, int Flags, int* OutFlags) {
  auto* File = reinterpret_cast<TFaultFile*>(F);
  File->Real = reinterpret_cast<sqlite3_file*>(File + 1);
  File->Base.pMethods = nullptr;
  TState& S = State();
  if (S.ReadOnlyDir && (Flags & SQLITE_OPEN_CREATE) != 0) {
    int Exists = 0;
    if (!Name || S.Real->xAccess(S.Real, Name, SQLITE_ACCESS_EXISTS, &Exists) != SQLITE_OK ||
        !Exists)
      return SQLITE_CANTOPEN;
  }
  if (S.ReadOnlyFiles && (Flags & SQLITE_OPEN_MAIN_DB) != 0 &&
      (Flags & SQLITE_OPEN_READWRITE) != 0) {
    Flags = (Flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
  }
  const int Rc = State().Real->xOpen(State().Real, Name, File->Real, Flags, OutFlags);
  // SQLite calls xClose only on a file whose methods are set.
  if (File->Real->pMethods)
    File->Base.pMethods = &Methods;
  return Rc;
}
int Delete(sqlite3_vfs*, const char* Name, int SyncDir) {
  if (Hit(TFault::Delete))
    return SQLITE_IOERR_DELETE;
  return State().Real->xDelete(State().Real, Name, SyncDir);
}
int Access(sqlite3_vfs*, const char* Name, int Flags, int* Out) {
  return State().Real->xAccess(State().Real, Name, Flags, Out);
}
int FullPathname(sqlite3_vfs*, const char* Name, int N, char* Out) {
  return State().Real->xFullPathname(State().Real, Name, N, Out);
}
void* DlOpen(sqlite3_vfs*, const char* Name) {
  return State().Real->xDlOpen(State().Real, Name);
}
void DlError(sqlite3_vfs*, int N, char* Out) {
  State().Real->xDlError(State().Real, N, Out);
}
void (*DlSym(sqlite3_vfs*, void* Lib, const char* Sym))(void) {
  return State().Real->xDlSym(State().Real, Lib, Sym);
}
void DlClose(sqlite3_vfs*, void* Lib) {
  State().Real->xDlClose(State().Real, Lib);
}
int Randomness(sqlite3_vfs*, int N, char* Out) {
  return State().Real->xRandomness(State().Real, N, Out);
}
int Sleep(sqlite3_vfs*, int Micro) {
  return State().Real->xSleep(State().Real, Micro);
}
int CurrentTime(sqlite3_vfs*, double* Out) {
  return State().Real->xCurrentTime(State().Real, Out);
}
int GetLastError(sqlite3_vfs*, int N, char* Out) {
  return State().Real->xGetLastError(State().Real, N, Out);
}

} // namespace

// Each kind of fault with its result code and its name, in enum order.
constexpr struct {
  TFault Kind;
  int Code;
  const char* Name;
} Faults[] = {
    {TFault::Read, SQLITE_IOERR_READ, "read"},
    {TFault::Write, SQLITE_IOERR_WRITE, "write"},
    {TFault::Sync, SQLITE_IOERR_FSYNC, "sync"},
    {TFault::Lock, SQLITE_IOERR_LOCK, "lock"},
    {TFault::Truncate, SQLITE_IOERR_TRUNCATE, "truncate"},
    {TFault::Delete, SQLITE_IOERR_DELETE, "delete"},
    {TFault::DiskFull, SQLITE_FULL, "disk full"},
};

int FaultResultCode(TFault Kind) {
  return Faults[static_cast<int>(Kind)].Code;
}

const char* FaultName(TFault Kind) {
  return Faults[static_cast<int>(Kind)].Name;
}

void TFaultVfs::Register() {
  TState& S = State();
  if (S.Real)
    return;
  // The handle is kept for the life of the process: the VFS must outlive
  // every connection of the driver.
  void* Lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!Lib)
    throw std::runtime_error("cannot load libsqlite3.so.0 for the fault VFS");
  auto Find = reinterpret_cast<decltype(&sqlite3_vfs_find)>(dlsym(Lib, "sqlite3_vfs_find"));
  auto Reg = reinterpret_cast<decltype(&sqlite3_vfs_register)>(dlsym(Lib, "sqlite3_vfs_register"));
  auto Init = reinterpret_cast<decltype(&sqlite3_initialize)>(dlsym(Lib, "sqlite3_initialize"));
  if (!Find || !Reg || !Init || Init() != SQLITE_OK || !(S.Real = Find(nullptr)))
    throw std::runtime_error("the SQLite library offers no default VFS to wrap");
  S.Vfs.iVersion = 1;
  S.Vfs.szOsFile = static_cast<int>(sizeof(TFaultFile)) + S.Real->szOsFile;
  S.Vfs.mxPathname = S.Real->mxPathname;
  S.Vfs.zName = Name;
  S.Vfs.xOpen = Open;
  S.Vfs.xDelete = Delete;
  S.Vfs.xAccess = Access;
  S.Vfs.xFullPathname = FullPathname;
  S.Vfs.xDlOpen = DlOpen;
  S.Vfs.xDlError = DlError;
  S.Vfs.xDlSym = DlSym;
  S.Vfs.xDlClose = DlClose;
  S.Vfs.xRandomness = Randomness;
  S.Vfs.xSleep = Sleep;
  S.Vfs.xCurrentTime = CurrentTime;
  S.Vfs.xGetLastError = GetLastError;
  if (Reg(&S.Vfs, 0) != SQLITE_OK)
    throw std::runtime_error("cannot register the fault VFS");
}

std::string TFaultVfs::Uri(const std::string& Path) {
  return "file:" + Path + "?vfs=" + Name;
}

void TFaultVfs::Arm(TFault Kind, int N) {
  TState& S = State();
  S.Kind = Kind;
  S.Left = N;
  S.Armed = true;
  S.Fired = false;
}

void TFaultVfs::Disarm() {
  State().Armed = false;
}

bool TFaultVfs::Fired() {
  return State().Fired;
}

void TFaultVfs::SetReadOnlyFiles(bool Value) {
  State().ReadOnlyFiles = Value;
}

void TFaultVfs::SetReadOnlyDirectory(bool Value) {
  State().ReadOnlyDir = Value;
}

} // namespace ztl::test
