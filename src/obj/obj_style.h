// How an OBJ's records are written beyond the dialogue's plain OBJ, as a
// rerun compares it.
#pragma once

#include <string>

#include "common/settings.h"

// "" for the plain OBJ, else the options that differ from it ("objects up=y
// scale=0.01 materials"), each value exact.
std::string style_key(const Settings& style);
