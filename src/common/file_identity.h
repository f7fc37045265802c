// The few questions about files that the stream library cannot answer, and
// the one place that knows how the platform spells a file name.
#pragma once

#include <filesystem>
#include <string>

// The file system's name for a name as the user typed it. On Windows the typed
// bytes are in the console's input code page and become the wide name, so that
// a name outside ASCII opens the file it names; elsewhere the bytes stand.
std::filesystem::path native_name(const std::string& typed);

// False for directories, devices, pipes and names that do not exist: the walk
// needs a file whose size is known and that it can seek in.
bool is_regular_file(const std::string& typed);

// True when both names lead to one file (same path, another spelling or letter
// case, a symbolic or a hard link). A name that does not exist is nobody's twin.
bool same_file(const std::string& a, const std::string& b);
