// The program's entry: the console dialogue and the command line, both over
// the one conversion path.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "batch/run.h"
#include "common/file_identity.h"
#include "common/settings.h"
#include "convert/convert.h"

// A console pastes a dropped or copied path in quotes, and no file name on
// Windows holds a double quote: an answer in one pair of matching quotes that
// names no existing file is taken without them.
std::string unquoted(const std::string& answer, NameBytes bytes);

// Prints the prompt and reads one answer: the whole line without its newline
// (and without a carriage return just before it), unquoted. At the end of the
// input the answer is what came before the end; every later answer is empty.
void read_file_name(std::istream& in, std::ostream& console, const char* prompt, std::string* name);

// How the dialogue meets its user. `console_answers`: the answers are read
// from the Windows console as wide characters instead of from the stream.
// `catch_signals`: an interruption after the answers stops the conversion and
// removes its temporary file (at the prompts it ends the program as always).
// `tell_open_failure`: a model that cannot be opened is told, not passed over
// in silence: in a window that closes at the end, silence would explain
// nothing.
struct DialogueOptions {
  bool console_answers = false;
  bool catch_signals = false;
  bool tell_open_failure = false;
};

// Runs the dialogue and one conversion. Progress goes to `console`; a failure
// other than a model that cannot be opened is told in one line on `diag`.
int run_converter(std::istream& in, std::ostream& console, std::ostream& diag,
                  const DialogueOptions& options = DialogueOptions());

// Reads the options and paths of a command line (after the program's name).
// True when there is a run to make; false when the run ends here, with
// *status: the help or the version on `out`, or a usage error on `diag`.
bool parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                        Settings* options, std::vector<std::string>* paths, ExitStatus* status);

// Runs the command line (the arguments after the program's name, in UTF-8).
// OBJ text of "-o -", the help and the version go to `out`; summaries and
// failures to `diag`. With `columns`, `diag` is a terminal that wide, which
// gets a status line. `dropped`: the paths were dropped onto the program, and
// a folder among them is converted as with -r.
int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                     Columns columns = nullptr, bool dropped = false);
