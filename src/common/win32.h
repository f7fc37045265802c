// <windows.h> without the macros that clash with the standard library
// (min, max) and without what this program never uses.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
