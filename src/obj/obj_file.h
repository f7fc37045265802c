// The files of an OBJ with materials, as this writer lays them out: the MTL
// beside the OBJ (its name from the OBJ's), named by the OBJ's first line and
// put in place before the OBJ, so that an OBJ never names an MTL that is not
// there.
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

// The MTL beside the OBJ `obj` (shown as `obj_shown`).
MtlFile mtl_beside(const std::filesystem::path& obj, const std::string& obj_shown);

// The first line of the OBJ `obj` (shown as `obj_shown`), being written to
// `file`: "mtllib NAME"; false with the failure (the OBJ's).
bool write_mtllib(OutputFile* file, const std::filesystem::path& obj, const std::string& obj_shown,
                  std::uint64_t* bytes, Failure* failure);

// The MTL of the planned materials (each texture's image as `maps` names it,
// and "none" where a geoset used none), written whole and put in place; never
// over `model`. False with the failure (the MTL's).
bool commit_mtl(const MtlFile& mtl, const FileLook& model, const std::vector<PlannedMaterial>& plan,
                const std::vector<std::string>& maps, bool none_used, Failure* failure);
