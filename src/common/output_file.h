// An OBJ file that is either whole or not there. A regular file is written
// under a temporary name in its own folder, ".NAME.mdx2obj-HOST-PID.tmp", and
// renamed onto its name only once it is complete and closed; any failure, and
// an interruption, remove the temporary file and leave what was under the name
// before. A device, a FIFO or a terminal is written in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <streambuf>
#include <string>

#include "common/file_calls.h"

// Written to as a stream: the OBJ sink hands it whole blocks. The first
// failure stops the writing and is kept, with its errno value. It owns an open
// file, so it is neither copied nor moved; destroyed unfinished, it discards.
struct OutputFile : std::streambuf {
  FileHandle file = kNoFile;
  std::filesystem::path name;  // where the text ends up (a link's target)
  std::filesystem::path temp;  // empty when written in place
  int code = 0;                // errno value of the first failure
  std::string error;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() override;

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override;
  int_type overflow(int_type c) override;
  int sync() override;
};

// Begins the file to be known as `name`. A name that is a link to a file
// writes that file, keeping the link. Refuses a folder, a read-only file and,
// on Windows, a device name. False with the reason and its errno value.
bool open_output(OutputFile* out, const std::filesystem::path& name, std::string* err, int* code);

// Closes the file and puts it in place of the old one; false with the reason
// (and the temporary file removed) when either fails.
bool commit_output(OutputFile* out, std::string* err, int* code);

// Closes and removes the temporary file; what was under the name stays.
void discard_output(OutputFile* out);

// A failure that every later file on the same file system would meet too:
// no space, no quota, read-only.
bool is_file_system_fault(int code);

// Removes what killed runs of this machine left in the folder of the OBJ
// `name`, as opening an OBJ there does (once per folder in a process): for an
// OBJ that a run finds up to date and does not write.
void remove_leftovers_beside(const std::filesystem::path& name);

// The temporary name of an OBJ file in this process.
std::filesystem::path temporary_name(const std::filesystem::path& name);
