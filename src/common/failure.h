// Why a conversion or a file it writes failed, as one line tells it: the one
// form every step reports a failure in.
#pragma once

#include <string>

struct Failure {
  std::string name;  // the file its line names: the model, the OBJ, the MTL, an image
  std::string why;   // the reason, as the line gives it; empty: no failure
  // A fault that every later file on the same file system would meet too
  // (no space, read-only).
  bool file_system = false;
};
