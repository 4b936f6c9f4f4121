// The PostgreSQL driver's public header: the session, the cursor and the
// blob stream of the server driver.
#pragma once

#include "drivers/postgres/PgBlobStream.h"
#include "drivers/postgres/PgCursor.h"
#include "drivers/postgres/PgSession.h"
