// The SQLite driver's public header: the session, the cursor, the blob
// stream and the dataset components of the embedded default driver.
#pragma once

#include "drivers/sqlite/SQLiteBlobStream.h"
#include "drivers/sqlite/SQLiteCursor.h"
#include "drivers/sqlite/SQLiteDataset.h"
#include "drivers/sqlite/SQLiteRegister.h"
#include "drivers/sqlite/SQLiteSession.h"
