// The real main window, offscreen (tests/shell's fixture), against servers started as
// child processes on 127.0.0.1.
#pragma once

#include "tests/common/Child.h"
#include "tests/shell/ShellTestUtil.h"
