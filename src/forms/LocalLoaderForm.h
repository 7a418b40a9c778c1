#pragma once

// The generated form class of LocalLoader.ui. Other folders include this header,
// never ui_LocalLoader.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_LocalLoader.h"
