// What the program needs of the Windows console: wide arguments and answers,
// wildcards that its shell leaves to the program, and the window that
// Explorer opens for files dropped onto the program. Elsewhere the shell has
// done all of it, and these say so.
#pragma once

#include <string>
#include <vector>

// The width of standard error when it is a terminal (a console on Windows),
// else 0: where a status line can be rewritten in place.
int stderr_columns();

#ifdef _WIN32
// The arguments after the program's name in UTF-8, each with wildcards in its
// file name part expanded as a POSIX shell would have: the matching files in
// name order, or the argument itself when none matches.
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);

// True when no other process shares the console, as when Explorer opened it
// for this program alone.
bool console_is_own();

// True when standard input is a console.
bool stdin_is_console();

// Reads one line from the console as wide characters, without its line end,
// into UTF-8; false at the end of input.
bool read_console_line(std::string* utf8);
#else
inline bool read_console_line(std::string*) { return false; }
#endif
