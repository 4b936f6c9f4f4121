// Loading package modules with the dynamic linker.
#include "package/ZtlPackageLoader.h"

#include <dlfcn.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "framework/rtl/SysUtils.h"

namespace ztl {
namespace {

// Packages are process-wide and never unloaded, so references handed out stay
// valid; a deque keeps them in place as the list grows.
struct TPackageTable {
  std::mutex Lock;
  std::deque<TZtlLoadedPackage> Packages;
};

TPackageTable& Table() {
  static TPackageTable Instance;
  return Instance;
}

std::string Canonical(const std::string& FileName) {
  std::error_code Error;
  const auto Path = std::filesystem::weakly_canonical(FileName, Error);
  return Error ? FileName : Path.string();
}

const TZtlLoadedPackage* FindLoaded(const std::string& Canon) {
  for (const TZtlLoadedPackage& P : Table().Packages)
    if (Canonical(P.FileName) == Canon)
      return &P;
  return nullptr;
}

const TZtlLoadedPackage* FindLoadedByName(const std::string& Name) {
  for (const TZtlLoadedPackage& P : Table().Packages)
    if (Name == P.Info->Name)
      return &P;
  return nullptr;
}

// Maps the module and reads its block, without registering anything yet.
// RTLD_GLOBAL lets a package that a later one requires serve that one's
// references; RTLD_NODELETE keeps the code of registered classes mapped even
// if someone closes a handle.
const ZtlPackageInfo* OpenModule(const std::string& FileName) {
  void* Handle = dlopen(FileName.c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
  if (!Handle) {
    const char* Reason = dlerror();
    throw Exception(Format("Cannot load package %s: %s", {FileName, Reason ? Reason : "unknown error"}));
  }
  auto Entry = reinterpret_cast<ZtlPackageEntryFunc>(dlsym(Handle, ZTL_PACKAGE_ENTRY_NAME));
  const ZtlPackageInfo* Info = Entry ? Entry() : nullptr;
  if (!Info || !Info->Name || !Info->Register) {
    dlclose(Handle);
    throw Exception(Format("%s is not a Zantrelix package", {FileName}));
  }
  if (Info->AbiVersion != ZTL_PACKAGE_ABI_VERSION) {
    const int Version = Info->AbiVersion;
    dlclose(Handle);
    throw Exception(Format("Package %s has interface version %d; this program reads version %d",
                           {FileName, Version, ZTL_PACKAGE_ABI_VERSION}));
  }
  return Info;
}

const TZtlLoadedPackage& RegisterOpened(const std::string& FileName, const ZtlPackageInfo* Info) {
  if (const TZtlLoadedPackage* Other = FindLoadedByName(Info->Name))
    throw Exception(Format("Package %s is already loaded from %s", {Info->Name, Other->FileName}));
  char Error[512] = "";
  if (Info->Register(Error, sizeof Error) != 0)
    throw Exception(Format("Package %s failed to register: %s", {Info->Name, Error}));
  Table().Packages.push_back({FileName, Info});
  return Table().Packages.back();
}

std::vector<std::string> NullTerminated(const char* const* List) {
  std::vector<std::string> Result;
  for (; List && *List; ++List)
    Result.emplace_back(*List);
  return Result;
}

} // namespace

const TZtlLoadedPackage& LoadZtlPackage(const std::string& FileName) {
  std::lock_guard<std::mutex> Guard(Table().Lock);
  if (const TZtlLoadedPackage* Loaded = FindLoaded(Canonical(FileName)))
    return *Loaded;
  return RegisterOpened(FileName, OpenModule(FileName));
}

TZtlPackageFolderResult LoadZtlPackageFolder(const std::string& Folder) {
  TZtlPackageFolderResult Result;
  std::error_code Error;
  std::vector<std::string> Files;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder, Error))
    if (Entry.path().extension() == ".so")
      Files.push_back(Entry.path().string());
  if (Error) {
    Result.Errors.push_back(Format("Cannot read package folder %s: %s", {Folder, Error.message()}));
    return Result;
  }
  std::sort(Files.begin(), Files.end());

  std::lock_guard<std::mutex> Guard(Table().Lock);
  std::map<std::string, std::pair<std::string, const ZtlPackageInfo*>> Pending; // by package name
  for (const std::string& File : Files) {
    if (const TZtlLoadedPackage* Loaded = FindLoaded(Canonical(File))) {
      Result.Loaded.push_back(Loaded);
      continue;
    }
    try {
      const ZtlPackageInfo* Info = OpenModule(File);
      Pending.emplace(Info->Name, std::make_pair(File, Info));
    } catch (const Exception& E) {
      Result.Errors.push_back(E.GetMessage());
    }
  }

  // Registers a package after those of the folder it requires; a cycle is
  // broken where it closes, since registration order only decides which of
  // two equal registrations wins.
  std::set<std::string> Visiting;
  auto Visit = [&](auto&& Self, const std::string& Name) -> void {
    auto It = Pending.find(Name);
    if (It == Pending.end() || !Visiting.insert(Name).second)
      return;
    for (const std::string& Required : NullTerminated(It->second.second->RequiredPackages))
      Self(Self, Required);
    It = Pending.find(Name);
    if (It == Pending.end())
      return;
    const auto [File, Info] = It->second;
    Pending.erase(It);
    try {
      Result.Loaded.push_back(&RegisterOpened(File, Info));
    } catch (const Exception& E) {
      Result.Errors.push_back(E.GetMessage());
    }
  };
  while (!Pending.empty())
    Visit(Visit, Pending.begin()->first);
  return Result;
}

std::vector<const TZtlLoadedPackage*> LoadedZtlPackages() {
  std::lock_guard<std::mutex> Guard(Table().Lock);
  std::vector<const TZtlLoadedPackage*> Result;
  for (const TZtlLoadedPackage& P : Table().Packages)
    Result.push_back(&P);
  return Result;
}

} // namespace ztl
