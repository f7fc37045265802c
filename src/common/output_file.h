// A file that is either whole or not there: an OBJ, the ledger of reruns. A
// regular file is written under a temporary name in its own folder,
// ".NAME.mdx2obj-HOST-PID.tmp", and renamed onto its name only once it is
// complete and closed; any failure, and an interruption, remove the temporary
// file and leave what was under the name before. A device, a FIFO or a
// terminal is written in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <streambuf>
#include <string>

#include "common/file_calls.h"

// Written to as a stream: the OBJ sink hands it whole blocks. The first
// failure stops the writing and its reason is kept here (a stream can only
// say that a write fell short). It owns an open file, so it is neither copied
// nor moved; destroyed unfinished, it discards.
struct OutputFile : std::streambuf {
  FileHandle file = kNoFile;
  std::filesystem::path name;  // where the text ends up (a link's target)
  std::filesystem::path temp;  // empty when written in place
  std::string error;           // the reason of the first failure
  // The first failure is one that every later file on the same file system
  // would meet too: no space, no quota, read-only.
  bool file_system_fault = false;
  bool binary = false;  // bytes stored as they are, not as text

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
// writes that file, keeping the link. Refuses a folder, a read-only file, on
// Windows a device name, and the file `model` (a model being read: writing
// would destroy it, whatever name or link leads there). With `make_folders`,
// the folders of `name` that are missing are made. False with the reason.
bool open_output(OutputFile* out, const std::filesystem::path& name, const FileLook* model,
                 bool make_folders, std::string* err);

// Closes the file and puts it in place of the old one; false with the reason
// (and the temporary file removed) when either fails.
bool commit_output(OutputFile* out, std::string* err);

// Closes and removes the temporary file; what was under the name stays.
void discard_output(OutputFile* out);

// Removes what killed runs of this machine left in the folder of the OBJ
// `name`, as opening an OBJ there does (once per folder in a process): for an
// OBJ that a run finds up to date and does not write.
void remove_leftovers_beside(const std::filesystem::path& name);

// The temporary name of an OBJ file in this process.
std::filesystem::path temporary_name(const std::filesystem::path& name);
