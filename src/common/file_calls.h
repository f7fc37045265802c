// The calls into the operating system that writing an OBJ file needs: the one
// place where Linux and Windows differ. Every path goes through long_path, so
// that a tree deeper than Windows' 260 characters is reached whole. Errors are
// errno values on both systems, so that reasons read the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

// What one look at a name tells.
struct FileLook {
  enum Kind { kMissing, kRegular, kFolder, kLink, kOther } kind = kMissing;
  std::uint64_t size = 0;
  std::uint64_t device = 0;  // with `inode`, the file's identity (volume and file id on Windows)
  std::uint64_t inode = 0;
  unsigned mode = 0;  // permission bits, kept when a file is replaced
  // The time of its last change, to the file system's own precision
  // (nanoseconds on Linux, 100 ns on Windows).
  std::int64_t modified = 0;
};

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// The calls themselves, as a table, so that the tests can make any of them
// fail at a chosen moment. Each returns false (or kNoFile) with *code set.
struct FileCalls {
  // `follow`: a link is looked through to what it leads to; a missing name is
  // kMissing and true.
  bool (*look)(const std::filesystem::path& name, bool follow, FileLook* look, int* code);
  // A file that did not exist, with the permissions of `like` when given.
  FileHandle (*create_new)(const std::filesystem::path& name, const FileLook* like, int* code);
  // An existing file that is not a regular one (a device, a FIFO, a terminal).
  FileHandle (*open_existing)(const std::filesystem::path& name, int* code);
  // All `n` bytes of OBJ text; on Windows each line end becomes CR LF.
  bool (*write)(FileHandle file, const char* text, std::size_t n, int* code);
  // All `n` bytes as they are (an image).
  bool (*write_bytes)(FileHandle file, const char* bytes, std::size_t n, int* code);
  bool (*close)(FileHandle file, int* code);
  // Puts `from` in the place of `to`, replacing what was there, at once.
  bool (*rename)(const std::filesystem::path& from, const std::filesystem::path& to, int* code);
  bool (*remove)(const std::filesystem::path& name, int* code);
  // A file that this user may not write to (not a read-only file system: that
  // is for the writing itself to find).
  bool (*read_only)(const std::filesystem::path& name);
};

extern FileCalls g_file_calls;
// The real calls, for a test to put back what it replaced.
FileCalls real_file_calls();

// On Windows an absolute path with the \\?\ prefix when it is long; elsewhere
// the name itself.
std::filesystem::path long_path(const std::filesystem::path& name);

// The file names in a folder (no "." or ".."); false with *code when it
// cannot be read.
bool folder_names(const std::filesystem::path& folder, std::vector<std::string>* names, int* code);

// Standard output is a pipe, whose reader may leave.
bool output_is_pipe();
// Standard output is a terminal, where binary bytes would only garble it.
bool output_is_terminal();
// Standard output takes bytes as they are (on Windows, no CR before each LF).
void output_as_bytes();

std::string this_host();
unsigned long this_process();
// False only when no process of that number runs on this machine.
bool process_alive(unsigned long pid);
// True only when `digits` (as a file name holds them: at most ten) are the
// number of a process that no longer runs on this machine.
bool process_ended(const std::string& digits);

// Windows reserves device names (CON, AUX, COM1...) in every folder: such a
// name would not be the file asked for. Empty where the name is fine, else
// the reason; always empty elsewhere.
std::string unusable_name(const std::filesystem::path& name);

// The text of an errno value.
std::string reason(int code);

#ifdef _WIN32
// Wide characters as UTF-8.
std::string utf8(const std::wstring& wide);
#endif

// FNV-1a (64 bits) over the units of `text` (bytes, or wide characters):
// the one hash of temporary names, name keys and shards.
template <class Text>
std::uint64_t fnv1a(const Text& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (auto unit : text) {
    hash = (hash ^ static_cast<std::make_unsigned_t<decltype(unit)>>(unit)) * 1099511628211ull;
  }
  return hash;
}
