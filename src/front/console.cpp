#include "front/console.h"

#include "common/file_calls.h"

bool waits_for_enter(const ConsoleView& view) {
  return view.window_shown && view.processes == 1 && view.input && view.output && view.error;
}

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
#include <iostream>
#include <streambuf>

#include "common/win32.h"

namespace {

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

ConsoleView observe_console() {
  ConsoleView view;
  HWND window = GetConsoleWindow();
  view.window_shown = window != nullptr && IsWindowVisible(window);
  DWORD processes[2];
  view.processes = GetConsoleProcessList(processes, 2);
  DWORD mode;
  view.input = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  view.output = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  view.error = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
  return view;
}

namespace {

// Text for a console: UTF-8 in, wide characters out, each write whole
// characters only (a character cut by a flush waits for its other bytes).
class ConsoleBuf : public std::streambuf {
 public:
  explicit ConsoleBuf(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_ += static_cast<char>(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.size() >= 4096 && sync() != 0) return 0;
    return n;
  }
  int sync() override {
    std::size_t whole = whole_characters();
    std::wstring wide = wide_text(pending_.substr(0, whole));
    pending_.erase(0, whole);
    for (std::size_t at = 0; at < wide.size();) {
      DWORD wrote = 0;
      DWORD n = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(console_, wide.data() + at, n, &wrote, nullptr) || wrote == 0) return -1;
      at += wrote;
    }
    return 0;
  }

 private:
  // The bytes before a last character whose bytes have not all come yet.
  std::size_t whole_characters() const {
    std::size_t n = pending_.size(), lead = n;
    while (lead > 0 && n - lead < 4 &&
           (static_cast<unsigned char>(pending_[lead - 1]) & 0xC0) == 0x80) {
      --lead;
    }
    if (lead == 0) return n;
    unsigned char first = static_cast<unsigned char>(pending_[lead - 1]);
    std::size_t need = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return n - (lead - 1) < need ? lead - 1 : n;
  }
  static std::wstring wide_text(const std::string& text) {
    int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
    return wide;
  }

  HANDLE console_;
  std::string pending_;
};

}  // namespace

void write_console_as_wide() {
  DWORD mode;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
  // Never destroyed: the streams are flushed at exit, after main's locals.
  if (GetConsoleMode(out, &mode)) std::cout.rdbuf(new ConsoleBuf(out));
  if (GetConsoleMode(err, &mode)) std::cerr.rdbuf(new ConsoleBuf(err));
}

void discard_typed_input() { FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)); }

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
