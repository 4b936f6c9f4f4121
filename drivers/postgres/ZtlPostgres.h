// The PostgreSQL driver's public header: the session, the cursor, the blob
// stream, the query and stored-procedure datasets of the server driver, and
// their registration for form files.
#pragma once

#include "drivers/postgres/PgBlobStream.h"
#include "drivers/postgres/PgCursor.h"
#include "drivers/postgres/PgDataset.h"
#include "drivers/postgres/PgRegister.h"
#include "drivers/postgres/PgSession.h"
