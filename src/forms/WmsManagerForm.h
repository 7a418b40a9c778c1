#pragma once

// The generated form class of WmsManager.ui. Other folders include this header,
// never ui_WmsManager.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_WmsManager.h"
