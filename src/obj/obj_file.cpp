#include "obj/obj_file.h"

#include "obj/mtl_text.h"

MtlFile mtl_beside(const std::filesystem::path& obj, const std::string& obj_shown) {
  const std::string name = mtl_name_for(obj.filename().u8string());
  return {mtl_name_for(obj_shown), obj.parent_path() / std::filesystem::u8path(name)};
}

bool write_mtllib(OutputFile* file, const std::filesystem::path& obj, const std::string& obj_shown,
                  std::uint64_t* bytes, Failure* failure) {
  const std::string line = "mtllib " + mtl_name_for(obj.filename().u8string()) + "\n";
  const std::streamsize n = static_cast<std::streamsize>(line.size());
  if (file->sputn(line.data(), n) != n) {
    *failure = {obj_shown, file->error, file->file_system_fault};
    return false;
  }
  *bytes = line.size();
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
