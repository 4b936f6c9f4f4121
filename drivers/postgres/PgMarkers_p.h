// Internal to the PostgreSQL driver: may change without notice.
//
// The rewriting of parameter markers for the server.
#pragma once

#include <cstdint>
#include <string>

namespace ztl {

// SQL with its parameter markers rewritten for the server: every "?" is a
// new parameter; a ":name" stands for one parameter however often it
// appears, the distinct names numbered in order of first appearance, mixed
// with the "?"s in order. Quoted strings, quoted identifiers, dollar-quoted
// strings, comments and "::" casts are left alone. Count receives the
// number of parameters.
std::string PgRewriteMarkers(const std::string& SQL, std::int32_t& Count);

} // namespace ztl
