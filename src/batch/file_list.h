// Lists of models (--files-from): from `find`, a manifest or a diff.
#pragma once

#include <istream>
#include <string>
#include <vector>

// Reads the paths of a list, one a line or, with `nul`, separated by NUL
// bytes (find -print0). The list is UTF-8: a leading byte-order mark is
// skipped; with lines, a CR before the LF goes and empty lines are skipped.
void read_file_list(std::istream& in, bool nul, std::vector<std::string>* paths);
