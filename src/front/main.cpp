#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "common/interrupt.h"
#include "front/console.h"
#include "front/front.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::setlocale(LC_ALL, "C");
  write_console_as_wide();
  // A window opened for this program alone (Explorer, a double click, a drop)
  // closes as soon as the program ends: let the user read what happened first.
  const ConsoleView console = observe_console();
  const bool own_window = waits_for_enter(console);
  if (argc >= 2) catch_interruptions();
  DialogueOptions dialogue;
  dialogue.console_answers = console.input;
  dialogue.catch_signals = true;
  dialogue.tell_open_failure = own_window;
  int status = argc < 2
                   ? run_converter(std::cin, std::cout, std::cerr, dialogue)
                   : run_command_line(utf8_arguments(argc, argv), std::cout, std::cerr,
                                      stderr_columns() > 0 ? stderr_columns : nullptr, own_window);
  if (interrupted()) end_as_interrupted();
  if (own_window) {
    std::cout << std::flush;
    // Enter pressed while the run worked must not close the window unread.
    discard_typed_input();
    std::cerr << "Press Enter to close this window." << std::endl;
    std::string line;
    read_console_line(&line);
  }
  return status;
}
#else
int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  if (argc >= 2) catch_interruptions();
  DialogueOptions dialogue;
  dialogue.catch_signals = true;
  int status = argc < 2
                   ? run_converter(std::cin, std::cout, std::cerr, dialogue)
                   : run_command_line(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                      std::cerr, stderr_columns() > 0 ? stderr_columns : nullptr);
  if (interrupted()) end_as_interrupted();
  return status;
}
#endif
