#pragma once

// The generated form class of OrthoManager.ui. Other folders include this header,
// never ui_OrthoManager.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_OrthoManager.h"
