// Internal to the PostgreSQL driver: may change without notice.
//
// Every declaration the PostgreSQL cursor's files share: the client
// library's entry points, the type conversions and the cursor and session.
#pragma once

#include "drivers/postgres/PgApi_p.h"
#include "drivers/postgres/PgCursor.h"
#include "drivers/postgres/PgMarkers_p.h"
#include "drivers/postgres/PgSession.h"
#include "drivers/postgres/PgTypes_p.h"
