#pragma once

// The generated form class of HabitatManager.ui. Other folders include this header,
// never ui_HabitatManager.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_HabitatManager.h"
