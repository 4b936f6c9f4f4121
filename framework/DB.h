// Everything of the generic dataset in one include.
#pragma once

#include "framework/Application.h"
#include "framework/DBConsts.h"
#include "framework/DBErrors.h"
#include "framework/DBParams.h"
#include "framework/DBTypes.h"
#include "framework/DataSet.h"
#include "framework/DataSource.h"
#include "framework/Fields.h"
#include "framework/IndexDefs.h"
