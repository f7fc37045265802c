#include "ledger/ledger.h"

#include <gtest/gtest.h>

#include "ledger/ledger_file.h"

namespace {

TEST(Ledger, StaleReasonsByTheRules) {
  LedgerEntry was;
  was.model_size = 10;
  was.model_modified = 20;
  was.file_size = 30;
  was.file_modified = 40;
  was.style = "objects";
  was.version = "1.1.0";
  auto with = [&was](void (*change)(LedgerEntry*)) {
    LedgerEntry e = was;
    change(&e);
    return e;
  };
  const struct {
    LedgerEntry entry;
    bool recorded, exists;
    std::string reason;
  } cases[] = {
      {was, true, true, ""},
      {was, true, false, "missing"},
      {was, false, true, "changed"},
      {was, false, false, "missing"},
      {with([](LedgerEntry* e) { e->failed = true; }), true, true, "failed"},
      {with([](LedgerEntry* e) { e->version = "1.0.0"; }), true, true, "version"},
      {with([](LedgerEntry* e) { e->form = 2; }), true, true, "version"},
      {with([](LedgerEntry* e) { e->style = ""; }), true, true, "options"},
      {with([](LedgerEntry* e) { e->style = "objects up=y"; }), true, true, "options"},
      {with([](LedgerEntry* e) { e->model_size = 11; }), true, true, "changed"},
      {with([](LedgerEntry* e) { e->model_modified = 19; }), true, true, "changed"},
      {with([](LedgerEntry* e) { e->file_size = 29; }), true, true, "changed"},
      {with([](LedgerEntry* e) { e->file_modified = 41; }), true, true, "changed"},
      // Failed before and changed since: tried again for its failure.
      {with([](LedgerEntry* e) { e->failed = true, e->model_size = 1; }), true, true, "failed"},
      // What the record knows of the model's path plays no part.
      {with([](LedgerEntry* e) { e->model = "../elsewhere.mdx"; }), true, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(stale_reason(c.recorded ? &c.entry : nullptr, was, c.exists), c.reason)
        << c.reason << " " << c.recorded << c.exists;
  }
}

// Every form of a line, keys of any bytes through the escapes, and lines
// that are no whole entry.
TEST(LedgerText, LinesOfEveryForm) {
  LedgerEntry e;
  e.model_size = 123;
  e.model_modified = -5;
  e.file_size = 456;
  e.file_modified = 1796711031459586651;
  e.failed = true;
  e.style = "objects scale=0.5";
  e.version = "1.1.0";
  e.model = "../art/odd\t%41\r\n.mdx";
  e.files = {{"units/odd.mtl", 7, 8}};
  e.textures = {{"Textures/A.blp", "../Textures/a.BLP", 9, -10, "../Textures/a.png", 11},
                {"Textures/Gone.blp", "", 0, 0, "", 0}};
  const std::string key = "units/odd\t%41\r\n.obj";
  const std::string line = ledger_line(key, e);
  EXPECT_EQ(line,
            "3\tobj\t123\t-5\t456\t1796711031459586651\tfailed\tobjects scale=0.5\t1.1.0\t"
            "units/odd%09%2541%0D%0A.obj\t../art/odd%09%2541%0D%0A.mdx\tfile\t7\t8\tunits/odd.mtl\t"
            "texture\tTextures/A.blp\t../Textures/a.BLP\t9\t-10\t../Textures/a.png\t11\t"
            "texture\tTextures/Gone.blp\t\t0\t0\t\t0\n");
  std::string read_key;
  LedgerEntry read;
  ASSERT_TRUE(read_ledger_line(line.substr(0, line.size() - 1) + "\r", &read_key, &read));
  EXPECT_EQ(read_key, key);
  EXPECT_EQ(read.form, 3);
  EXPECT_EQ(ledger_line(read_key, read), line);
  // The second form: no "3", no kinds of items, no textures; written as it was.
  const std::string second = "obj\t7\t8\t9\t10\twarned\t\t1.0.0\ta.obj\tm.mdx\t1\t2\ta.mtl";
  ASSERT_TRUE(read_ledger_line(second, &read_key, &read));
  EXPECT_EQ(read.form, 2);
  EXPECT_EQ(ledger_line(read_key, read),
            "obj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\t1\t2\ta.mtl\n");
  // The first form: no kind, no model path. Escapes in either letter case.
  ASSERT_TRUE(read_ledger_line("7\t8\t9\t10\tok\t\t1.0.0\ta%2fb%20c%0a.obj", &read_key, &read));
  EXPECT_EQ(read_key, "a/b c\n.obj");
  EXPECT_EQ(read.form, 1);
  EXPECT_EQ(ledger_line(read_key, read), "obj\t7\t8\t9\t10\tok\t\t1.0.0\ta/b c%0A.obj\t\n");
  for (const char* damaged :
       {"", "mdx2obj-record 2", "7\t8\t9\t10\tfine\t\t1.0.0\ta.obj",
        "7\t8\t9\t10\tok\t\t1.0.0\ta%2", "7\t8\t9\t10\tok\t\t1.0.0\ta%zz.obj",
        "-7\t8\t9\t10\tok\t\t1.0.0\ta.obj", "7\t8x\t9\t10\tok\t\t1.0.0\ta.obj",
        "7\t8\t9\t10\tok\t1.0.0\ta.obj", "png\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx",
        "obj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\textra",
        "99999999999999999999\t8\t9\t10\tok\t\t1.0.0\ta.obj",
        "3\tobj\t7\t8\t9\t10\twarned\t\t1.0.0\ta.obj\tm.mdx",
        "3\tobj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\t1\t2\ta.mtl",
        "3\tobj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\tfile\t1\t2",
        "3\tobj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\ttexture\tT.blp\t\t0\t0\t",
        "3\tobj\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj\tm.mdx\ttexture\tT.blp\t\tx\t0\t\t0",
        "3\t7\t8\t9\t10\tok\t\t1.0.0\ta.obj"}) {
    EXPECT_FALSE(read_ledger_line(damaged, &read_key, &read)) << damaged;
  }
}

}  // namespace
