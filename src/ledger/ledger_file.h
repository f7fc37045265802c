// The files of the ledger of reruns, ".mdx2obj-record" and the journals
// beside it: one entry a line, its fields between tabs, a path's "%", tab, CR
// and LF escaped as %25, %09, %0D, %0A.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

// The kind of file an entry lists; or, in a journal, that the ledger lists the
// file no more (--delete removed it, or it was never one to remove).
enum class LedgerKind : unsigned char { kObj, kGone };

// A file written beside an OBJ for its model (its MTL, its images): its path
// from the ledger's folder, "/" between folders, as the run left it.
struct LedgerFile {
  std::string path;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
};

// A texture of the model: what the lookup found for it and the image made of
// it, as the run left them. Paths are from the ledger's folder, "/" between
// folders ("../" where they lie elsewhere).
struct LedgerTexture {
  std::string relative;  // the texture's path as the model names it
  std::string source;    // "" where none was found
  std::uint64_t source_size = 0;
  std::int64_t source_modified = 0;
  std::string image;  // "" where none was made
  std::uint64_t image_size = 0;
};

// The form of the ledger's lines that this version writes: the third, which
// knows each texture's source. An entry of an older form converts its model
// once more.
constexpr int kLedgerForm = 3;

// One file as the run that wrote it left it, and the model it came from.
struct LedgerEntry {
  int form = kLedgerForm;
  LedgerKind kind = LedgerKind::kObj;
  std::uint64_t model_size = 0;
  std::int64_t model_modified = 0;
  std::uint64_t file_size = 0;
  std::int64_t file_modified = 0;
  bool failed = false;
  std::string style;              // the options that shaped it, as style_key gives them
  std::string version;            // the program's
  std::string model;              // the model's path under the ledger's folder, "/" between folders
  std::vector<LedgerFile> files;  // written with it: its MTL (of older forms, its images too)
  std::vector<LedgerTexture> textures;
};

// The ledger's file name, and its first line: its form.
constexpr char kRecordName[] = ".mdx2obj-record";
constexpr char kLedgerHeader[] = "mdx2obj-record 3";

// This process's journal in `folder`: ".mdx2obj-record.HOST-PID.journal".
std::filesystem::path this_journal(const std::filesystem::path& folder);

// The names of the journals in `folder`, of every machine.
std::vector<std::string> journals_in(const std::filesystem::path& folder);

// A journal that a fold takes in: this process's, or one of a run of this
// machine that is gone (another machine's processes are not ours to judge).
bool foldable_journal(const std::string& name);

// The entry's line, in its form. The third: "3", "obj" (or "gone"), the
// model's size and time, the file's size and time, "ok" or "failed", the
// style, the version, the key and the model's path; then "file", size, time
// and path of each file written with it, and "texture", its path, the
// source's path, size and time, and the image's path and size, of each
// texture. The second has no "3", no "texture" and no "file" before each
// file; the first, no kind and no model's path either.
std::string ledger_line(const std::string& key, const LedgerEntry& entry);

// One line of any form; false for what is no whole entry.
bool read_ledger_line(std::string line, std::string* key, LedgerEntry* entry);

// The entries of a ledger's file or a journal, each replacing one of its key
// (or, gone, taking it away); lines that are no whole entries are passed over:
// a damaged ledger only means that its models convert again.
void read_ledger_file(const std::filesystem::path& name,
                      std::unordered_map<std::string, LedgerEntry>* entries);
