#include "common/file_calls.h"

#include <cerrno>
#include <cstring>
#include <limits>

namespace fs = std::filesystem;

std::string reason(int code) { return std::strerror(code); }

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool look_posix(const fs::path& name, bool follow, FileLook* look, int* code) {
  *look = FileLook();
  struct stat st;
  if ((follow ? ::stat(name.c_str(), &st) : ::lstat(name.c_str(), &st)) != 0) {
    if (errno == ENOENT) return true;
    *code = errno;
    return false;
  }
  look->kind = S_ISREG(st.st_mode)   ? FileLook::kRegular
               : S_ISDIR(st.st_mode) ? FileLook::kFolder
               : S_ISLNK(st.st_mode) ? FileLook::kLink
                                     : FileLook::kOther;
  look->size = static_cast<std::uint64_t>(st.st_size);
  look->device = static_cast<std::uint64_t>(st.st_dev);
  look->inode = static_cast<std::uint64_t>(st.st_ino);
  look->mode = static_cast<unsigned>(st.st_mode & 07777);
  look->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool read_only_posix(const fs::path& name) {
  return ::access(name.c_str(), W_OK) != 0 && errno == EACCES;
}

FileHandle create_posix(const fs::path& name, const FileLook* like, int* code) {
  // Never through a link someone left under the temporary name.
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    *code = errno;
    return kNoFile;
  }
  if (like) (void)::fchmod(fd, like->mode);
  return fd;
}

FileHandle open_posix(const fs::path& name, int* code) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) *code = errno;
  return fd < 0 ? kNoFile : fd;
}

bool write_posix(FileHandle file, const char* text, std::size_t n, int* code) {
  while (n > 0) {
    ssize_t wrote = ::write(static_cast<int>(file), text, n);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      *code = wrote < 0 ? errno : ENOSPC;
      return false;
    }
    text += wrote;
    n -= static_cast<std::size_t>(wrote);
  }
  return true;
}

bool close_posix(FileHandle file, int* code) {
  // On Linux the descriptor is gone even when close says EINTR.
  if (::close(static_cast<int>(file)) != 0 && errno != EINTR) {
    *code = errno;
    return false;
  }
  return true;
}

bool rename_posix(const fs::path& from, const fs::path& to, int* code) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  *code = errno;
  return false;
}

bool remove_posix(const fs::path& name, int* code) {
  if (::unlink(name.c_str()) == 0) return true;
  *code = errno;
  return false;
}

}  // namespace

FileCalls real_file_calls() {
  return {look_posix,  create_posix, open_posix,   write_posix,    write_posix,
          close_posix, rename_posix, remove_posix, read_only_posix};
}

fs::path long_path(const fs::path& name) { return name; }

bool folder_names(const fs::path& folder, std::vector<std::string>* names, int* code) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) {
    *code = errno;
    return false;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names->push_back(entry->d_name);
    }
  }
  ::closedir(dir);
  return true;
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !*name) return "localhost";
  std::string host = name;
  for (char& c : host) c = c == '/' ? '_' : c;
  return host;
}

unsigned long this_process() { return static_cast<unsigned long>(::getpid()); }

bool output_is_pipe() {
  struct stat st;
  return ::fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode);
}

bool output_is_terminal() { return ::isatty(STDOUT_FILENO) != 0; }

void output_as_bytes() {}

bool process_alive(unsigned long pid) {
  // No process has a number past the largest pid_t (nor should a leftover's
  // name make this a signal to a process group).
  if (pid == 0 || pid > 0x7fffffffUL) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string unusable_name(const fs::path&) { return ""; }

#else
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwctype>

#include "common/win32.h"

namespace {

int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    default:
      return EIO;
  }
}

bool failed(int* code) {
  *code = errno_of(GetLastError());
  return false;
}

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool look_windows(const fs::path& name, bool follow, FileLook* look, int* code) {
  *look = FileLook();
  const std::wstring wide = long_path(name).wstring();
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    *code = errno_of(error);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    look->kind = FileLook::kOther;
  } else if (GetFileInformationByHandle(file, &info)) {
    const DWORD attributes = info.dwFileAttributes;
    look->kind = !follow && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FileLook::kLink
                 : (attributes & FILE_ATTRIBUTE_DIRECTORY)              ? FileLook::kFolder
                                                                        : FileLook::kRegular;
    look->size = std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    look->device = info.dwVolumeSerialNumber;
    look->inode = std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    look->modified =
        static_cast<std::int64_t>(std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                  info.ftLastWriteTime.dwLowDateTime);
  } else {
    CloseHandle(file);
    return failed(code);
  }
  CloseHandle(file);
  return true;
}

FileHandle create_windows(const fs::path& name, const FileLook*, int* code) {
  HANDLE file = CreateFileW(long_path(name).wstring().c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed(code), kNoFile;
  return reinterpret_cast<FileHandle>(file);
}

FileHandle open_windows(const fs::path& name, int* code) {
  HANDLE file = CreateFileW(long_path(name).wstring().c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed(code), kNoFile;
  return reinterpret_cast<FileHandle>(file);
}

bool write_all(HANDLE file, const char* bytes, std::size_t n, int* code) {
  while (n > 0) {
    DWORD wrote = 0;
    DWORD chunk = static_cast<DWORD>(n < (1u << 30) ? n : (1u << 30));
    if (!WriteFile(file, bytes, chunk, &wrote, nullptr)) return failed(code);
    if (wrote == 0) {
      *code = ENOSPC;
      return false;
    }
    bytes += wrote;
    n -= wrote;
  }
  return true;
}

// The OBJ is text: each LF is stored as CR LF, as a text-mode stream would.
bool write_windows(FileHandle file, const char* text, std::size_t n, int* code) {
  char stored[16384];
  std::size_t used = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (used + 2 > sizeof stored) {
      if (!write_all(handle_of(file), stored, used, code)) return false;
      used = 0;
    }
    if (text[i] == '\n') stored[used++] = '\r';
    stored[used++] = text[i];
  }
  return write_all(handle_of(file), stored, used, code);
}

bool write_bytes_windows(FileHandle file, const char* bytes, std::size_t n, int* code) {
  return write_all(handle_of(file), bytes, n, code);
}

bool close_windows(FileHandle file, int* code) {
  return CloseHandle(handle_of(file)) ? true : failed(code);
}

bool rename_windows(const fs::path& from, const fs::path& to, int* code) {
  return MoveFileExW(long_path(from).wstring().c_str(), long_path(to).wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING)
             ? true
             : failed(code);
}

bool remove_windows(const fs::path& name, int* code) {
  return DeleteFileW(long_path(name).wstring().c_str()) ? true : failed(code);
}

bool read_only_windows(const fs::path& name) {
  DWORD attributes = GetFileAttributesW(long_path(name).wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

std::string utf8(const std::wstring& wide) {
  int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

FileCalls real_file_calls() {
  return {look_windows,  create_windows, open_windows,   write_windows,    write_bytes_windows,
          close_windows, rename_windows, remove_windows, read_only_windows};
}

fs::path long_path(const fs::path& name) {
  const std::wstring& wide = name.native();
  // Below this, every call takes the name as it is; above it, only the
  // prefixed form of the whole path reaches the file.
  if (wide.size() < 200 || wide.rfind(LR"(\\?\)", 0) == 0) return name;
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return name;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(LR"(\\.\)", 0) == 0 || full.rfind(LR"(\\?\)", 0) == 0) return fs::path(full);
  if (full.rfind(LR"(\\)", 0) == 0) return fs::path(LR"(\\?\UNC\)" + full.substr(2));
  return fs::path(LR"(\\?\)" + full);
}

bool folder_names(const fs::path& folder, std::vector<std::string>* names, int* code) {
  fs::path pattern = long_path(folder.empty() ? fs::path(L".") : folder);
  std::wstring wide = pattern.wstring();
  if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/') wide += L'\\';
  wide += L'*';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return failed(code);
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names->push_back(utf8(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

std::string host_name() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &n) || n == 0) return "localhost";
  return utf8(std::wstring(name, n));
}

unsigned long this_process() { return GetCurrentProcessId(); }

bool output_is_pipe() { return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE; }

bool output_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

void output_as_bytes() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool process_alive(unsigned long pid) {
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

std::string unusable_name(const fs::path& name) {
  const std::wstring file = name.filename().wstring();
  if (file.empty()) return "";
  std::wstring stem = file.substr(0, file.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
  // "NUL" alone is the device that discards what is written to it, as asked.
  if (stem == L"NUL" && file.size() == 3) return "";
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  bool device = false;
  for (const wchar_t* d : kDevices) device = device || stem == d;
  if (stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0) &&
      stem[3] >= L'0' && stem[3] <= L'9') {
    device = true;
  }
  if (!device) return "";
  return utf8(stem) + " is a device on Windows, not a file";
}

#endif

FileCalls g_file_calls = real_file_calls();

std::string this_host() {
  static const std::string host = host_name();
  return host;
}

bool process_ended(const std::string& digits) {
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  // Ten digits may pass what an unsigned long holds (32 bits on Windows):
  // no process has such a number.
  const unsigned long long number = std::stoull(digits);
  return number > std::numeric_limits<unsigned long>::max() ||
         !process_alive(static_cast<unsigned long>(number));
}
