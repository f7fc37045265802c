// The few questions about files that the stream library cannot answer, and
// the one place that knows how the platform spells a file name.
#pragma once

#include <filesystem>
#include <string>

// How the bytes of a name are to be read: in the console's code page (answers
// typed at the dialogue or redirected to it), or as UTF-8 (the command line,
// and answers read from the console as wide characters).
enum class NameBytes { kCodePage, kUtf8 };

// The file system's name for a name as the user gave it. On Windows the bytes
// become the wide name, so that a name outside ASCII opens the file it names,
// and its last part loses its trailing dots and spaces, as Windows itself
// takes such a name (" out file.obj " is " out file.obj"), also where a long
// path's prefix would keep them; elsewhere the bytes stand.
std::filesystem::path native_name(const std::string& name, NameBytes bytes = NameBytes::kCodePage);

// The absolute path of `name` with "." and ".." folded away, relative names
// taken from `cwd` (the current folder, asked once for a whole run).
std::filesystem::path absolute_name(const std::filesystem::path& name,
                                    const std::filesystem::path& cwd);

// A name as the file system compares names: the absolute path with "." and
// ".." folded away, and on Windows without regard to letter case. Two names
// with one key lead to one file; links are the identity test's (open_output).
std::filesystem::path::string_type name_key(const std::filesystem::path& name);
// The same, relative names taken from `cwd` (the current folder, asked once
// for a whole run rather than once a name).
std::filesystem::path::string_type name_key(const std::filesystem::path& name,
                                            const std::filesystem::path& cwd);

// True when the name holds a NUL character, which would cut it short where a
// file is opened, so that another file than the one named would open.
bool holds_nul(const std::filesystem::path& name);

// `what`, and the reason of the last failed call into the C library if it set
// one: "cannot create: No such file or directory".
std::string errno_text(const char* what);
