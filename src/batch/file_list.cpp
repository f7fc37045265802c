#include "batch/file_list.h"

void read_file_list(std::istream& in, bool nul, std::vector<std::string>* paths) {
  std::string path;
  bool first = true;
  while (std::getline(in, path, nul ? '\0' : '\n')) {
    if (first && path.compare(0, 3, "\xEF\xBB\xBF") == 0) path.erase(0, 3);
    first = false;
    if (!nul && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths->push_back(path);
  }
}
