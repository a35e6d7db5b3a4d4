#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "fakes/temp_dir.h"
#include "platform/fs.h"
#include "platform/trash.h"

namespace vm {
namespace {

namespace sfs = std::filesystem;
using test::TempDir;

// 2026-03-04 05:06:07 UTC.
constexpr std::int64_t kDeleted = 1772600767LL * 1000000000LL;

// Points the home trash into a temporary folder (and the clock's zone to
// UTC) for one test, and puts both back afterwards.
class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    save("XDG_DATA_HOME", oldData_);
    save("TZ", oldTz_);
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    restore("XDG_DATA_HOME", oldData_);
    restore("TZ", oldTz_);
    ::tzset();
  }
  static void save(const char* name, std::optional<std::string>& out) {
    if (const char* v = std::getenv(name)) out = v;
  }
  static void restore(const char* name, const std::optional<std::string>& v) {
    if (v) ::setenv(name, v->c_str(), 1);
    else ::unsetenv(name);
  }
  std::string trash() const { return (dir.path() / "data" / "Trash").string(); }
  std::string info(const std::string& name) const { return dir.read("data/Trash/info/" + name + ".trashinfo"); }

  TempDir dir;
  std::optional<std::string> oldData_, oldTz_;
};

TEST_F(TrashTest, FileGoesToTheHomeTrashWithItsInfo) {
  auto file = dir.write("notes/plan.txt", "the plan\n");
  TrashResult r = moveToTrash(file.string(), kDeleted);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.message, "Moved plan.txt to the trash");
  EXPECT_FALSE(sfs::exists(file));
  EXPECT_EQ(r.trashedAs, trash() + "/files/plan.txt");
  EXPECT_EQ(dir.read("data/Trash/files/plan.txt"), "the plan\n");
  EXPECT_EQ(info("plan.txt"), "[Trash Info]\nPath=" + trashPathEncode(file.string()) +
                                  "\nDeletionDate=2026-03-04T05:06:07\n");
  EXPECT_EQ(homeTrashFolder(), trash());
}

TEST_F(TrashTest, SameNameTwiceIsNumberedAndNeitherIsLost) {
  auto a = dir.write("one/plan.txt", "first");
  auto b = dir.write("two/plan.txt", "second");
  auto c = dir.write("three/plan.txt", "third");
  ASSERT_TRUE(moveToTrash(a.string(), kDeleted).ok);
  TrashResult rb = moveToTrash(b.string(), kDeleted);
  TrashResult rc = moveToTrash(c.string(), kDeleted);
  ASSERT_TRUE(rb.ok && rc.ok);
  EXPECT_EQ(dir.read("data/Trash/files/plan.txt"), "first");
  EXPECT_EQ(dir.read("data/Trash/files/plan.txt.2"), "second");
  EXPECT_EQ(dir.read("data/Trash/files/plan.txt.3"), "third");
  EXPECT_NE(info("plan.txt.2").find("Path=" + trashPathEncode(b.string()) + "\n"), std::string::npos);
  EXPECT_NE(info("plan.txt.3").find("Path=" + trashPathEncode(c.string()) + "\n"), std::string::npos);
}

TEST_F(TrashTest, NamesTakenByStrayFilesOrInfosAreSkippedAndKept) {
  dir.write("data/Trash/files/x.txt", "orphan without info");
  dir.write("data/Trash/info/x.txt.2.trashinfo", "[Trash Info]\nPath=/elsewhere\n");
  auto file = dir.write("n/x.txt", "mine");
  TrashResult r = moveToTrash(file.string(), kDeleted);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.trashedAs, trash() + "/files/x.txt.3");
  EXPECT_EQ(dir.read("data/Trash/files/x.txt"), "orphan without info");
  EXPECT_EQ(dir.read("data/Trash/info/x.txt.2.trashinfo"), "[Trash Info]\nPath=/elsewhere\n");
  EXPECT_FALSE(sfs::exists(dir.path() / "data/Trash/info/x.txt.trashinfo"));  // claimed, then given back
  EXPECT_EQ(dir.read("data/Trash/files/x.txt.3"), "mine");
}

TEST_F(TrashTest, FoldersGoWholeAndLinksGoWithoutTheirTarget) {
  dir.write("notes/Archive/a.txt", "a");
  dir.write("notes/Archive/imgs/p.png", "png");
  ASSERT_TRUE(moveToTrash((dir.path() / "notes/Archive/").string(), kDeleted).ok);
  EXPECT_FALSE(sfs::exists(dir.path() / "notes/Archive"));
  EXPECT_EQ(dir.read("data/Trash/files/Archive/imgs/p.png"), "png");

  auto target = dir.write("notes/real.txt", "real");
  sfs::create_symlink(target, dir.path() / "notes/link.txt");
  TrashResult r = moveToTrash((dir.path() / "notes/link.txt").string(), kDeleted);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(dir.read("notes/real.txt"), "real");
  EXPECT_TRUE(sfs::is_symlink(r.trashedAs));
}

TEST_F(TrashTest, PathsArePercentEncoded) {
  EXPECT_EQ(trashPathEncode("/home/a/My notes/\xC3\xA4 50%.txt"), "/home/a/My%20notes/%C3%A4%2050%25.txt");
  EXPECT_EQ(trashPathEncode("/a-b_c.d~e/F9"), "/a-b_c.d~e/F9");
  auto file = dir.write("odd name #1.txt", "x");
  ASSERT_TRUE(moveToTrash(file.string(), kDeleted).ok);
  EXPECT_NE(info("odd name #1.txt").find("odd%20name%20%231.txt\n"), std::string::npos);
}

TEST_F(TrashTest, LongNamesFitBesideTheirInfoSuffix) {
  const std::string name(250, 'n');
  auto first = dir.write("a/" + name, "1");
  auto second = dir.write("b/" + name, "2");
  TrashResult r1 = moveToTrash(first.string(), kDeleted);
  TrashResult r2 = moveToTrash(second.string(), kDeleted);
  ASSERT_TRUE(r1.ok && r2.ok) << r1.message << r2.message;
  EXPECT_LE(sfs::path(r1.infoFile).filename().string().size(), 255u);
  EXPECT_NE(r1.trashedAs, r2.trashedAs);
  EXPECT_EQ(dir.read(sfs::relative(r2.trashedAs, dir.path()).string()), "2");
}

TEST_F(TrashTest, FailuresSayWhyAndMoveNothing) {
  TrashResult r = moveToTrash((dir.path() / "missing.txt").string(), kDeleted);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Could not move missing.txt to the trash: No such file or directory");
  EXPECT_FALSE(moveToTrash("", kDeleted).ok);
  EXPECT_FALSE(moveToTrash("/", kDeleted).ok);

  // A trash that cannot be made: nothing moves, nothing is deleted.
  dir.write("data", "a file where the data folder should be");
  auto file = dir.write("keep.txt", "keep");
  r = moveToTrash(file.string(), kDeleted);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(dir.read("keep.txt"), "keep");
}

// Files on another file system go to the trash at its top. Runs where a
// writable tmpfs on another device than the test folder is at hand.
TEST_F(TrashTest, AnotherFileSystemUsesItsTopTrash) {
  struct stat shm, here;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev ||
      ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable file system";
  const std::string top = mountPointOf("/dev/shm").string();
  const std::string uid = std::to_string(::getuid());
  const bool hadTrash = sfs::exists(top + "/.Trash-" + uid);
  char tmpl[] = "/dev/shm/vmtrash-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string folder = tmpl;
  const std::string file = folder + "/far away.txt";
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fputs("far", f); std::fclose(f); }
  TrashResult r = moveToTrash(file, kDeleted);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(r.trashedAs.rfind(top + "/.Trash-" + uid + "/files/", 0) == 0 ||
              r.trashedAs.rfind(top + "/.Trash/" + uid + "/files/", 0) == 0)
      << r.trashedAs;
  EXPECT_FALSE(sfs::exists(file));
  auto text = readWholeFile(r.infoFile);
  ASSERT_TRUE(text);
  // Relative to the top folder.
  EXPECT_NE(text->find("\nPath=" + trashPathEncode(file.substr(top.size() + 1)) + "\n"), std::string::npos) << *text;
  EXPECT_FALSE(sfs::exists(dir.path() / "data/Trash/files/far away.txt"));
  std::error_code ec;
  sfs::remove(r.trashedAs, ec);
  sfs::remove(r.infoFile, ec);
  sfs::remove_all(folder, ec);
  if (!hadTrash) {  // only empty folders go
    for (const char* sub : {"/files", "/info", ""}) sfs::remove(top + "/.Trash-" + uid + sub, ec);
  }
}

}  // namespace
}  // namespace vm
