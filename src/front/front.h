// The program's entry: the console dialogue and one conversion.
#pragma once

#include <istream>
#include <ostream>
#include <string>

enum ExitStatus {
  kExitSuccess = 0,
  kExitFailure = 1,
};

// Prints the prompt and reads one answer: the whole line without its newline
// (and without a carriage return just before it). At the end of the input the
// answer is what came before the end; every later answer is empty.
void read_file_name(std::istream& in, std::ostream& console, const char* prompt, std::string* name);

// Runs the dialogue and one conversion. Progress goes to `console`; a failure
// other than a model that cannot be opened is told in one line on `diag`.
int run_converter(std::istream& in, std::ostream& console, std::ostream& diag);
