// Internal to the bundled drivers: may change without notice.
//
// The pieces of the drivers' shared buffer encoding (see TZtlDriverSQL in
// ZtlDriverSQL.h) that their own files need: unaligned loads and stores and
// the bytes each type takes.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/ZtlFieldDefs.h"

namespace ztl {

// The value of type T at P, which need not be aligned.
template <class T>
T ZtlLoad(const std::uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

// Writes V at P, which need not be aligned.
template <class T>
void ZtlStore(std::uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

// Bytes a value of Type takes in a row (Length: the declared length of a
// string or binary; memos and blobs take none, their data lives in the blob
// streams).
inline std::int32_t ZtlRowSizeOf(TZantrelFieldTypes Type, std::int32_t Length) {
  switch (Type) {
  case ntString:
    return Length + 1;
  case ntInteger:
    return 4;
  case ntInt64:
  case ntFloat:
  case ntCurrency:
  case ntDate:
  case ntTime:
  case ntDateTime:
    return 8;
  case ntBoolean:
    return 2;
  case ntBinary:
    return Length + 2;
  default:
    return 0;
  }
}

// Bytes a host variable of Type takes when its value does not set the size.
inline std::int32_t ZtlVariableSizeOf(TZantrelFieldTypes Type) {
  switch (Type) {
  case ntString:
    // Longer texts become memos, which are bound afresh on every use.
    return 1024;
  case ntBinary:
    // A byte array of any length becomes a blob of exactly its length: a
    // fixed-size binary slot could not tell its true length.
    return 0;
  default:
    return ZtlRowSizeOf(Type, 0);
  }
}

} // namespace ztl
