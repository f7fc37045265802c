// What the program needs of the Windows console: wide arguments and answers,
// wildcards that its shell leaves to the program, and the window that
// Explorer opens for files dropped onto the program. Elsewhere the shell has
// done all of it, and these say so.
#pragma once

#include <string>
#include <vector>

// What the program can see of the console it runs in. Only Windows has one;
// elsewhere it is all false.
struct ConsoleView {
  bool window_shown = false;  // the console has a window on the screen
  unsigned processes = 0;     // processes attached to the console, this one included
  bool input = false;         // standard input is the console
  bool output = false;        // standard output is the console
  bool error = false;         // standard error is the console
};

// True only for a console window that was opened for this program alone and
// vanishes with it (Explorer, a double click, a drop), where the program waits
// for Enter so that its text can be read. A console without a window (Wine at
// a terminal, a CI runner), one that other processes share (a shell), or any
// standard handle redirected never waits: nobody would see the prompt.
bool waits_for_enter(const ConsoleView& view);

// The width of standard error when it is a terminal (a console on Windows),
// else 0: where a status line can be rewritten in place.
int stderr_columns();

#ifdef _WIN32
// The arguments after the program's name in UTF-8, each with wildcards in its
// file name part expanded as Windows matches names (letter case ignored, dot
// files included): the matching files in name order, or the argument itself
// when none matches.
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);

ConsoleView observe_console();

// Makes standard output and error write to the console, where they are one,
// as wide characters: a name outside ASCII then shows as itself at any code
// page. Redirected, they stay UTF-8.
void write_console_as_wide();

// Throws away what was typed at the console and not read yet.
void discard_typed_input();

// Reads one line from the console as wide characters, without its line end,
// into UTF-8; false at the end of input.
bool read_console_line(std::string* utf8);
#else
inline bool read_console_line(std::string*) { return false; }
#endif
