// An owned libpq result, cleared when its owner lets go of it. Public
// because the driver's cursor and session hold results by value; the
// result itself is only handled by pointer.
#pragma once

// As <libpq-fe.h> declares them.
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace ztl {

// Owns one PGresult and clears it when it goes.
class TPgResult {
public:
  TPgResult() = default;
  explicit TPgResult(PGresult* R) noexcept : Res(R) {}
  TPgResult(TPgResult&& O) noexcept : Res(O.Res) { O.Res = nullptr; }
  TPgResult& operator=(TPgResult&& O) noexcept {
    if (this != &O) {
      Reset();
      Res = O.Res;
      O.Res = nullptr;
    }
    return *this;
  }
  TPgResult(const TPgResult&) = delete;
  TPgResult& operator=(const TPgResult&) = delete;
  ~TPgResult() { Reset(); }

  // Clears the held result (PgApi.cpp).
  void Reset() noexcept;
  PGresult* Get() const noexcept { return Res; }
  explicit operator bool() const noexcept { return Res != nullptr; }
  // The command succeeded (with or without rows) (PgApi.cpp).
  bool Ok() const noexcept;

private:
  PGresult* Res = nullptr; // the result, or null
};

} // namespace ztl
