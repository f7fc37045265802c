#include <clocale>
#include <iostream>

#include "front/front.h"

int main() {
  std::setlocale(LC_ALL, "C");
  return run_converter(std::cin, std::cout, std::cerr);
}
