// The widgets layer: forms' windows, the controls, the file-system controls,
// the common dialogs and the desktop seams, over Qt 6 Widgets.
#pragma once

#include "framework/widgets/Controls.h"
#include "framework/widgets/Dialogs.h"
#include "framework/widgets/FileCtrls.h"
#include "framework/widgets/Shell.h"
