/* ZtlPackageEntry: what a loadable design package hands to the designer that
 * loads it. Plain C, so a host and a package built by different compilers or
 * with different standard libraries still agree on the layout.
 *
 * A package exports exactly one function, named by ZTL_PACKAGE_ENTRY_NAME,
 * that returns its description block. The block and every string it points
 * to live as long as the package stays loaded; a host never unloads a package
 * whose Register has run, because the classes and editors it registered have
 * their code inside it. */
#ifndef ZTL_PACKAGE_ENTRY_H
#define ZTL_PACKAGE_ENTRY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever the block's layout or the meaning of a member changes. */
#define ZTL_PACKAGE_ABI_VERSION 1
#define ZTL_PACKAGE_ENTRY_NAME "ZtlPackageEntry"

typedef struct ZtlPackageInfo {
  int AbiVersion;                      /* ZTL_PACKAGE_ABI_VERSION of the package */
  const char* Name;                    /* e.g. "ZtlPack5" */
  const char* Description;             /* the line a package list shows */
  const char* const* ContainedUnits;   /* null-terminated */
  const char* const* RequiredPackages; /* null-terminated; loaded before this one */
  const char* PalettePage;             /* null when the package adds no components */
  const char* const* PaletteComponents; /* null-terminated class names on that page */
  /* Registers the package's classes and editors with the host's registries.
   * Returns 0, or -1 with a message of at most ErrorSize - 1 bytes. */
  int (*Register)(char* ErrorText, size_t ErrorSize);
} ZtlPackageInfo;

typedef const ZtlPackageInfo* (*ZtlPackageEntryFunc)(void);

#ifdef __cplusplus
}
#endif

#endif /* ZTL_PACKAGE_ENTRY_H */
