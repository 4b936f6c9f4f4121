// Everything of the generic dataset in one include.
#pragma once

#include "framework/rtl/Application.h"
#include "framework/db/DBConsts.h"
#include "framework/db/DBErrors.h"
#include "framework/db/DBParams.h"
#include "framework/db/DBRegister.h"
#include "framework/db/DBTypes.h"
#include "framework/db/DataSet.h"
#include "framework/db/DataSource.h"
#include "framework/db/Fields.h"
#include "framework/db/IndexDefs.h"
