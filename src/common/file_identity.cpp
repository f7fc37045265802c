#include "common/file_identity.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include "common/win32.h"
#endif

namespace fs = std::filesystem;

fs::path native_name(const std::string& name, NameBytes bytes) {
#ifdef _WIN32
  if (name.empty()) return fs::path();
  // Without a console (input from a pipe or file) the ANSI code page is what
  // the typed bytes were written in.
  UINT code_page = CP_UTF8;
  if (bytes == NameBytes::kCodePage) {
    code_page = GetConsoleCP();
    if (code_page == 0) code_page = GetACP();
  }
  int size = static_cast<int>(name.size());
  int wide_len = MultiByteToWideChar(code_page, 0, name.data(), size, nullptr, 0);
  if (wide_len <= 0) return fs::path(name);
  std::wstring wide(static_cast<std::size_t>(wide_len), L'\0');
  MultiByteToWideChar(code_page, 0, name.data(), size, wide.data(), wide_len);
  // "." and ".." stay what they are; a name of dots alone is left as typed.
  const std::size_t last = wide.find_last_not_of(L"\\/.");
  const std::size_t kept = wide.find_last_not_of(L". ");
  if (last != std::wstring::npos && kept != std::wstring::npos && kept + 1 < wide.size() &&
      wide.find_first_of(L"\\/", kept) == std::wstring::npos) {
    wide.erase(kept + 1);
  }
  return fs::path(wide);
#else
  (void)bytes;
  return fs::path(name);
#endif
}

fs::path::string_type name_key(const fs::path& name) {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return name_key(name, ec ? fs::path() : cwd);
}

fs::path absolute_name(const fs::path& name, const fs::path& cwd) {
  fs::path whole = name;
  if (!name.is_absolute()) {
    std::error_code ec;
    // A drive-relative name on Windows has its own current folder.
    whole = name.has_root_name() || name.has_root_directory() || cwd.empty()
                ? fs::absolute(name, ec)
                : cwd / name;
    if (ec) whole = name;
  }
  return whole.lexically_normal();
}

fs::path::string_type name_key(const fs::path& name, const fs::path& cwd) {
  fs::path::string_type key = absolute_name(name, cwd).native();
#ifdef _WIN32
  if (!key.empty()) CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
#endif
  return key;
}

bool holds_nul(const fs::path& name) {
  return name.native().find(fs::path::value_type()) != fs::path::string_type::npos;
}

std::string errno_text(const char* what) {
  int code = errno;
  if (code == 0) return what;
  return std::string(what) + ": " + std::strerror(code);
}
