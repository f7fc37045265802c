#include "obj/obj_file.h"

#include "obj/mtl_text.h"

namespace {

// The OBJ's first line, naming the MTL beside it.
bool write_mtllib(ObjFiles* obj, Failure* failure) {
  const std::string line = "mtllib " + mtl_name_for(obj->path.filename().u8string()) + "\n";
  const std::streamsize n = static_cast<std::streamsize>(line.size());
  if (obj->file.sputn(line.data(), n) != n) {
    *failure = {obj->shown, obj->file.error, obj->file.file_system_fault};
    return false;
  }
  obj->head_bytes = line.size();
  return true;
}

bool commit_mtl(const MtlFile& mtl, const FileLook& model, const std::vector<PlannedMaterial>& plan,
                const std::vector<std::string>& maps, bool none_used, Failure* failure) {
  OutputFile file;
  std::string err;
  const std::string text = mtl_file_text(plan, maps, none_used);
  const std::streamsize n = static_cast<std::streamsize>(text.size());
  if (!open_output(&file, mtl.file, &model, false, &err) || file.sputn(text.data(), n) != n ||
      !commit_output(&file, &err)) {
    *failure = {mtl.shown, file.error.empty() ? err : file.error, file.file_system_fault};
    return false;
  }
  return true;
}

}  // namespace

MtlFile mtl_beside(const std::filesystem::path& obj, const std::string& obj_shown) {
  const std::string name = mtl_name_for(obj.filename().u8string());
  return {mtl_name_for(obj_shown), obj.parent_path() / std::filesystem::u8path(name)};
}

bool open_obj_files(ObjFiles* obj, const FileLook& model, bool make_folders, bool materials,
                    Failure* failure) {
  std::string err;
  if (!open_output(&obj->file, obj->path, &model, make_folders, &err)) {
    *failure = {obj->shown, err, obj->file.file_system_fault};
    return false;
  }
  if (!materials) return true;
  obj->mtl = mtl_beside(obj->path, obj->shown);
  return write_mtllib(obj, failure);
}

bool commit_obj_files(ObjFiles* obj, const FileLook& model,
                      const std::vector<PlannedMaterial>& plan,
                      const std::vector<std::string>& maps, bool none_used, Failure* failure) {
  if (!obj->mtl.file.empty() && !commit_mtl(obj->mtl, model, plan, maps, none_used, failure)) {
    return false;
  }
  std::string err;
  if (!commit_output(&obj->file, &err)) {
    *failure = {obj->shown, err, obj->file.file_system_fault};
    return false;
  }
  return true;
}
