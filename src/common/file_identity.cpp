#include "common/file_identity.h"

#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;

fs::path native_name(const std::string& typed) {
#ifdef _WIN32
  if (typed.empty()) return fs::path();
  // Without a console (input from a pipe or file) the ANSI code page is what
  // the typed bytes were written in.
  UINT code_page = GetConsoleCP();
  if (code_page == 0) code_page = GetACP();
  int size = static_cast<int>(typed.size());
  int wide_len = MultiByteToWideChar(code_page, 0, typed.data(), size, nullptr, 0);
  if (wide_len <= 0) return fs::path(typed);
  std::wstring wide(static_cast<std::size_t>(wide_len), L'\0');
  MultiByteToWideChar(code_page, 0, typed.data(), size, wide.data(), wide_len);
  return fs::path(wide);
#else
  return fs::path(typed);
#endif
}

bool is_regular_file(const std::string& typed) {
  std::error_code ec;
  return fs::is_regular_file(native_name(typed), ec);
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  bool same = fs::equivalent(native_name(a), native_name(b), ec);
  return !ec && same;
}
