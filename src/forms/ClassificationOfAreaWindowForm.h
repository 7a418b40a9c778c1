#pragma once

// The generated form class of ClassificationOfAreaWindow.ui. Other folders include this header,
// never ui_ClassificationOfAreaWindow.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_ClassificationOfAreaWindow.h"
