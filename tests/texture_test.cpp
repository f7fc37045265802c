#include <gtest/gtest.h>

#include <csignal>
#include <set>

#include "common/file_calls.h"
#include "common/interrupt.h"
#include "front/front.h"
#include "test_util.h"
#include "texture/texture_find.h"
#include "texture/texture_place.h"
#include "texture_builder.h"

namespace {

namespace fs = std::filesystem;

void put(const fs::path& name, const std::string& bytes) {
  fs::create_directories(name.parent_path());
  write_file(name, bytes);
}

#ifndef _WIN32
// Each part matches exactly first, then ignoring case in byte order, and
// every match is tried until the whole path is found; a folder part is never
// a link, the last part may be one to a file.
TEST(TextureLookup, EveryMatchInItsOrder) {
  TempDir dir;
  const fs::path root = dir.path / "data";
  for (const char* name : {"Textures/a.blp", "textures/a.blp", "TEXTURES/b.blp", "textures/d.blp",
                           "Textures/c.blp/x", "real/x.blp", "Textures/target.blp"}) {
    put(root / name, name);
  }
  fs::create_directory_symlink(root / "real", root / "linked");
  fs::create_symlink(root / "Textures/target.blp", root / "Textures/l.blp");
  fs::create_symlink(root / "nowhere.blp", root / "Textures/dangling.blp");
  const struct {
    std::string relative, found;
  } cases[] = {
      {"Textures/a.blp", "Textures/a.blp"},
      {"textures/A.BLP", "textures/a.blp"},
      {"TEXTURES/a.blp", "Textures/a.blp"},  // TEXTURES holds no a.blp; "T" < "t"
      {"texTures/b.blp", "TEXTURES/b.blp"},
      {"Textures/d.blp", "textures/d.blp"},  // the exact folder holds none
      {"Textures/c.blp", ""},                // a folder, not a file
      {"linked/x.blp", ""},                  // a link to a folder is not followed
      {"Textures/l.blp", "Textures/l.blp"},  // a link to a file is
      {"Textures/dangling.blp", ""},
      {"", ""},
  };
  TextureLookup lookup;
  for (const auto& c : cases) {
    fs::path found;
    const bool ok = find_under(&lookup, root, c.relative, &found);
    EXPECT_EQ(ok ? found.lexically_relative(root).generic_string() : "", c.found) << c.relative;
  }
}
#endif

// A tree whose textures are all missing: every folder above each model is
// asked for each texture, and each folder's listing is read once a run.
TEST(TextureLookup, EachFolderReadOnce) {
  TempDir dir;
  std::vector<fs::path> models;
  for (const char* folder : {"a/b/c/d/e/f", "a/b/c/d/e/g", "a/b/x/y/z/w"}) {
    for (const char* model : {"m1.mdx", "m2.mdx"}) {
      models.push_back(dir.path / folder / model);
      put(models.back(), "");
    }
  }
  put(dir.path / "a/b/Textures/present.blp", "");
  std::set<fs::path> folders;
  for (const fs::path& model : models) {
    fs::path at = fs::absolute(model).lexically_normal().parent_path();
    for (; at != at.parent_path(); at = at.parent_path()) folders.insert(at);
    folders.insert(at);
  }
  TextureLookup lookup;
  for (const fs::path& model : models) {
    for (const char* texture : {"Textures/Skin.blp", "Textures/Other.blp"}) {
      fs::path found;
      EXPECT_FALSE(find_texture(&lookup, model, fs::path(), {}, texture, &found)) << found;
    }
    fs::path found;
    EXPECT_TRUE(find_texture(&lookup, model, fs::path(), {}, "Textures/present.blp", &found));
  }
  // The Textures folder that holds present.blp is read too.
  EXPECT_EQ(lookup.listings_read, folders.size() + 1);
  // A data root: nothing above it is asked.
  TextureLookup bounded;
  fs::path found;
  EXPECT_FALSE(
      find_texture(&bounded, models[0], dir.path / "a/b/c", {}, "Textures/present.blp", &found));
  EXPECT_EQ(bounded.listings_read, 4u);
}

// Where each image goes, and the path its MTL maps it by.
TEST(TexturePlace, BySourceRunFolderAndOptions) {
  const fs::path cwd = fs::current_path();
  RunFolders folders;
  folders.cwd = cwd;
  const std::size_t data = add_run_folder(&folders, "data/", "");
  const std::size_t listed = add_run_folder(&folders, "list/art/", "list/art/");
  add_run_folder(&folders, "other", "");
  EXPECT_EQ(add_run_folder(&folders, "data", "elsewhere/"), data);  // the first counts
  struct Case {
    bool beside, under_root;
    std::size_t own;
    std::string source;
    TextureKind kind;
    std::string image;
  };
  const std::size_t none = 99;
  const Case cases[] = {
      {true, false, data, "data/Textures/Foo.blp", TextureKind::kBlp, "data/Textures/Foo.png"},
      {true, true, data, "data/Textures/Foo.blp", TextureKind::kBlp, "out/Textures/Foo.png"},
      {true, true, listed, "list/art/a/t.TGA", TextureKind::kTga, "out/list/art/a/t.png"},
      {true, false, data, "data/textures/FOO.BLP", TextureKind::kBlp, "data/textures/FOO.png"},
      // Its own image where it lies: nothing to make.
      {true, false, data, "data/Textures/Foo.png", TextureKind::kPng, "data/Textures/Foo.png"},
      {true, true, data, "data/Textures/Foo.png", TextureKind::kPng, "out/Textures/Foo.png"},
      // In another run folder than the model's own.
      {true, false, data, "other/Foo.blp", TextureKind::kBlp, "other/Foo.png"},
      {true, false, none, "other/Foo.blp", TextureKind::kBlp, "other/Foo.png"},
      {true, false, data, "other/Textures/Foo.blp", TextureKind::kBlp, "other/Textures/Foo.png"},
      // Above every run folder, and every source with -o: at the model's path.
      {true, false, data, "Textures/Foo.blp", TextureKind::kBlp, "data/Units/Textures/Bar.png"},
      {true, true, data, "Textures/Foo.blp", TextureKind::kBlp, "out/Textures/Bar.png"},
      {false, false, data, "data/Textures/Foo.blp", TextureKind::kBlp,
       "data/Units/Textures/Bar.png"},
  };
  for (const Case& c : cases) {
    Settings settings;
    if (!c.beside) settings.output = "data/Units/bar.obj";
    if (c.under_root) settings.output_dir = "out";
    const RunFolder* own = c.own == none ? nullptr : &folders.all[c.own];
    const ImagePlace place = place_image(settings, &folders, own, cwd / c.source, c.kind,
                                         "Textures/Bar.blp", "data/Units/bar.obj");
    EXPECT_EQ(place.shown, c.image) << c.source;
    EXPECT_EQ(place.file, native_name(c.image, NameBytes::kUtf8)) << c.source;
  }
  const struct {
    std::string file, folder, map;
  } maps[] = {
      {"data/Units/Textures/Bar.png", "data/Units", "Textures/Bar.png"},
      {"data/Textures/Foo.png", "data/Units/Human/", "../../Textures/Foo.png"},
      {"data/Foo.png", "data", "Foo.png"},
      {"Foo.png", "data/Units", "../../Foo.png"},
      {"out/a/../b/Foo.png", "out/c", "../b/Foo.png"},
  };
  for (const auto& m : maps) EXPECT_EQ(path_from(m.file, m.folder, cwd), m.map) << m.file;
}

// A -u run interrupted while the models that share an edited texture convert
// again: the next -u converts each of the rest once, the image not again,
// and then nothing.
TEST(TextureReruns, AnInterruptedRunThenUpdate) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  ModelDress d;
  d.textures = {{0, "Textures\\Skin.blp"}};
  d.materials = {{{0, 0, 0}}};
  for (int i = 0; i < 4; ++i) {
    put("art/m" + std::to_string(i) + ".mdx", build_model({make_geoset(3 + i, 1)}, nullptr, d));
  }
  put("art/Textures/Skin.blp", blp_palette(test_picture(4, 4), 0));
  const std::vector<std::string> update = {"-q", "-j1", "-m", "-u", "-r", "art"};
  auto dry_run = [&] {
    std::vector<std::string> args = update;
    args.insert(args.begin(), "-n");
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(args, out, err), 0) << err.str();
    return out.str();
  };
  std::ostringstream out, err;
  ASSERT_EQ(run_command_line(update, out, err), 0) << err.str();
  put("art/Textures/Skin.blp", blp_palette(test_picture(8, 8), 0));
  // Interrupted as the second model's OBJ is written: the first is done.
  static int writes = 0;
  static const FileCalls real = real_file_calls();
  g_file_calls.write = [](FileHandle file, const char* text, std::size_t n, int* code) {
    if (++writes == 3) set_interrupted(SIGINT);
    return real.write(file, text, n, code);
  };
  run_command_line(update, out, err);
  g_file_calls = real;
  set_interrupted(0);
  const std::string rest = dry_run();
  EXPECT_EQ(rest, made("art/m1.mdx") + " -> " + made("art/m1.obj") + ": texture\n" +
                      made("art/m2.mdx") + " -> " + made("art/m2.obj") + ": texture\n" +
                      made("art/m3.mdx") + " -> " + made("art/m3.obj") + ": texture\n");
  const auto image_time = fs::last_write_time("art/Textures/Skin.png");
  std::ostringstream json, none;
  std::vector<std::string> args = update;
  args.push_back("--json");
  EXPECT_EQ(run_command_line(args, json, none), 0);
  EXPECT_NE(json.str().find("\"converted\": 3, \"up_to_date\": 1,"), std::string::npos)
      << json.str();
  EXPECT_EQ(fs::last_write_time("art/Textures/Skin.png"), image_time);
  EXPECT_EQ(dry_run(), "");
  fs::current_path(before);
}

// Of two sources that would make one image, the first in the run's order
// wins, even where the later one reaches its claim first.
TEST(TextureReruns, ClaimsInTheRunsOrderWhateverTheTiming) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  put("art/Textures/Own.blp", blp_palette(test_picture(4, 2), 0));
  put("art/Textures/Own.tga", tga(test_picture(2, 4), 24, false, false));
  // The first model looks for many textures before it claims its own; the
  // second, for one.
  ModelDress d;
  d.textures.clear();
  for (std::uint32_t i = 0; i < 400; ++i) {
    d.textures.push_back({0, "Textures\\Gone" + std::to_string(i) + ".blp"});
    d.materials.push_back({{0, 0, i}});
  }
  d.textures.push_back({0, "Textures\\Own.blp"});
  d.materials.push_back({{0, 0, 400}});
  put("art/a.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  d.textures = {{0, "Textures\\Own.tga"}};
  d.materials = {{{0, 0, 0}}};
  put("art/b.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"-qq", "-j2", "-m", "-r", "art"}, out, err), 0);
  EXPECT_NE(read_file("art/a.mtl").find("map_Kd Textures/Own.png"), std::string::npos);
  EXPECT_EQ(read_file("art/b.mtl").find("map_Kd"), std::string::npos);
  fs::current_path(before);
}

}  // namespace
