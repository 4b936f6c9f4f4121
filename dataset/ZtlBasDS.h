// The dataset layer's public header.
#pragma once

#include "core/ZtlBase.h"
#include "dataset/ZtlCheckError.h"
#include "dataset/ZtlCustomDataset.h"
#include "dataset/ZtlDataset.h"
#include "dataset/ZtlParams.h"
#include "dataset/ZtlStoredProc.h"
