#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "front/console.h"
#include "front/front.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::setlocale(LC_ALL, "C");
  if (argc < 2) return run_converter(std::cin, std::cout, std::cerr, stdin_is_console());
  const bool own = console_is_own();
  int status =
      run_command_line(utf8_arguments(argc, argv), std::cout, std::cerr, stderr_columns(), own);
  // Explorer closes the window it opened for dropped files as soon as the
  // program ends: let the user read what happened first.
  if (own) {
    std::cerr << "Press Enter to close this window." << std::endl;
    std::string line;
    std::getline(std::cin, line);
  }
  return status;
}
#else
int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  if (argc < 2) return run_converter(std::cin, std::cout, std::cerr);
  return run_command_line(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                          stderr_columns());
}
#endif
