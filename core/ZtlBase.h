// The core engine's public header: messages and errors, the session, and the
// cursor with its field definitions, host variables and blobs.
#pragma once

#include "core/ZtlBlob.h"
#include "core/ZtlConsts.h"
#include "core/ZtlErrors.h"
#include "core/ZtlFieldDefs.h"
#include "core/ZtlSQL.h"
#include "core/ZtlSession.h"
