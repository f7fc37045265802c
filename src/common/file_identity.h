// The few questions about files that the stream library cannot answer.
#pragma once

#include <string>

// False for directories, devices, pipes and names that do not exist: the walk
// needs a file whose size is known and that it can seek in.
bool is_regular_file(const std::string& name);

// True when both names lead to one file (same path, another spelling, a
// symbolic or a hard link). A name that does not exist is nobody's twin.
bool same_file(const std::string& a, const std::string& b);
