// Internal to the bundled drivers: may change without notice.
//
// The client library a driver reaches through: opened at run time, its entry
// points bound into a table, one per process for each driver and counted by
// the driver's sessions.
#pragma once

#include <cstdint>
#include <string>

#include "core/ZtlConsts.h"
#include "core/ZtlErrors.h"
#include "core/ZtlSession.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

// Opens the shared library FileName with its symbols kept out of the global
// scope, so that a second copy of the client library in the process (one the
// application links itself) is never bound by accident. Null when it cannot
// be opened.
void* ZtlOpenClientLibrary(const std::string& FileName) noexcept;
// Closes a handle from ZtlOpenClientLibrary.
void ZtlCloseClientLibrary(void* Handle) noexcept;

// A member of an entry-point table for the client function Prefix##Name,
// typed as that function, for use in an X-macro list of names.
#define ZTL_CLIENT_ENTRY(Prefix, Name) decltype(&::Prefix##Name) Name = nullptr;

// Binds Api.Name to the function Prefix##Name of the library Lib, or to
// Fallback (ZtlDummyProc for a required function, ZtlDummyProcNoExcept for
// one whose absence is harmless) when the library lacks it.
#define ZTL_CLIENT_BIND(Lib, Api, Prefix, Name, Fallback)                                          \
  ZtlAssignProcAddress((Api).Name, ZtlGetProcAddress((Lib), #Prefix #Name), (Fallback));

// The client library of one driver. TApi is the driver's table of entry
// points; it supplies
//   static bool Bind(void* Lib, TApi& Api);
// which binds every entry point from Lib and may refuse a library that is not
// the driver's at all (false). A member of the table holds either the
// library's function or a placeholder, never null, from a successful Load
// until Free.
template <class TApi>
class TZtlClientLibrary {
public:
  // The entry points of the loaded library.
  static const TApi& Api() noexcept { return Table; }
  static bool Loaded() noexcept { return Handle != nullptr; }
  // The file name the library was loaded from ("" while none is loaded).
  static const std::string& LoadedName() noexcept { return Name; }
  // Sessions of the driver holding the library (the session base keeps it
  // up to date through GetLibraryRefCount/SetLibraryRefCount).
  static std::int32_t GetRefCount() noexcept { return References; }
  static void SetRefCount(std::int32_t Value) noexcept { References = Value; }

  // Opens FileName and binds every entry point. True at once when a library
  // is loaded already (the first session to load it decides). False, leaving
  // nothing loaded, when the library cannot be opened or Bind refuses it.
  static bool Load(const std::string& FileName) {
    if (Handle)
      return true;
    void* Lib = ZtlOpenClientLibrary(FileName);
    if (!Lib)
      return false;
    TApi Bound;
    if (!TApi::Bind(Lib, Bound)) {
      ZtlCloseClientLibrary(Lib);
      return false;
    }
    Table = Bound;
    Handle = Lib;
    Name = FileName;
    return true;
  }

  // Load for a session's InternalLoadLibrary: raises the package's "could
  // not load the library" error through Session when the library fails.
  static void LoadOrRaise(TZantrelSession& Session, const std::string& FileName) {
    if (!Load(FileName))
      Session.RaiseLastError(LoadZtlStr(ZTL_ERR_LIB_LOAD_FAILED), -1);
  }

  // Runs a session's check of the loaded library (its version, its
  // initialisation). A library the check refuses by raising is unloaded
  // again before the error goes on, so that a corrected LibraryName is tried
  // next time.
  template <class F>
  static void CheckOrFree(F&& Check) {
    try {
      Check();
    } catch (...) {
      Free();
      throw;
    }
  }

  // Unloads the library; the table goes back to nulls.
  static void Free() noexcept {
    if (!Handle)
      return;
    Table = TApi{};
    ZtlCloseClientLibrary(Handle);
    Handle = nullptr;
    Name.clear();
  }

private:
  static inline void* Handle = nullptr;      // dlopen handle, null while unloaded
  static inline TApi Table;                  // the bound entry points
  static inline std::string Name;            // file the library came from
  static inline std::int32_t References = 0; // sessions of the driver holding it
};

} // namespace ztl
