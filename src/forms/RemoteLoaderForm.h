#pragma once

// The generated form class of RemoteLoader.ui. Other folders include this header,
// never ui_RemoteLoader.h itself: the build compiles a form in the one library that
// names its generated header, and that library is this one.
#include "ui_RemoteLoader.h"
