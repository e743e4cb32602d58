// A file layer that reaches up into a window: the check must refuse it.
#pragma once

#include "mainwindow/window.h"
