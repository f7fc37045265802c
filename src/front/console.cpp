#include "front/console.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#include <unistd.h>

int stderr_columns() {
  if (!isatty(STDERR_FILENO)) return 0;
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}
#else
#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

std::string utf8(const std::wstring& wide) {
  int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

void expand(const std::wstring& arg, std::vector<std::string>* out) {
  std::size_t folder_end = arg.find_last_of(L"\\/:") + 1;  // 0 when there is no folder
  if (arg.find_first_of(L"*?", folder_end) == std::wstring::npos) {
    out->push_back(utf8(arg));
    return;
  }
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(arg.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  // An argument that matches nothing stands as it is, as in a POSIX shell.
  if (names.empty()) {
    out->push_back(utf8(arg));
    return;
  }
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) out->push_back(utf8(arg.substr(0, folder_end) + name));
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) expand(argv[i], &args);
  return args;
}

int stderr_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

bool console_is_own() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

bool stdin_is_console() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool read_console_line(std::string* line) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring wide;
  wchar_t c;
  DWORD got = 0;
  while (ReadConsoleW(in, &c, 1, &got, nullptr) && got == 1 && c != L'\n') wide += c;
  if (wide.empty() && got == 0) return false;
  if (!wide.empty() && wide.back() == L'\r') wide.pop_back();
  *line = utf8(wide);
  return true;
}
#endif
