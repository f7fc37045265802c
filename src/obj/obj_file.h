// The files of an OBJ, as this writer lays them out: the OBJ begun under a
// temporary name beside its own, and with materials the MTL beside it (its
// name from the OBJ's), named by the OBJ's first line and put in place before
// the OBJ, so that an OBJ never names an MTL that is not there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_calls.h"
#include "common/material_plan.h"
#include "common/output_file.h"

struct MtlFile {
  std::string shown;           // as messages show it
  std::filesystem::path file;  // as the file system knows it
};

// An OBJ on its way to its place.
struct ObjFiles {
  std::string shown;             // the OBJ, as messages show it
  std::filesystem::path path;    // and as the file system knows it
  OutputFile file;               // being written
  MtlFile mtl;                   // with materials; empty without
  std::uint64_t head_bytes = 0;  // the OBJ's first line, before its records
};

// The MTL beside the OBJ `obj` (shown as `obj_shown`).
MtlFile mtl_beside(const std::filesystem::path& obj, const std::string& obj_shown);

// Begins the OBJ, never over `model` (its folders made with `make_folders`),
// and with `materials` its first line: "mtllib NAME". False with the failure
// (the OBJ's).
bool open_obj_files(ObjFiles* obj, const FileLook& model, bool make_folders, bool materials,
                    Failure* failure);

// Puts in place the MTL of the planned materials, where the OBJ has one (each
// texture's image as `maps` names it, "none" where a geoset used none), and
// then the OBJ. False with the failure (the MTL's or the OBJ's): an MTL that
// fails leaves the OBJ unwritten.
bool commit_obj_files(ObjFiles* obj, const FileLook& model,
                      const std::vector<PlannedMaterial>& plan,
                      const std::vector<std::string>& maps, bool none_used, Failure* failure);
