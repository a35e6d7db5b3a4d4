#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fakes/temp_dir.h"
#include "platform/app_paths.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace vm {
namespace {

TEST(Text, CaseFoldingComparison) {
  EXPECT_TRUE(equalsNoCase("BasicRoots", "basicroots"));
  EXPECT_TRUE(equalsNoCase("Äpfel", "äPFEL"));
  EXPECT_LT(compareNoCase("apfel", "Banane"), 0);
  EXPECT_LT(compareNoCase("abc", "ABCD"), 0);
  EXPECT_TRUE(startsWithNoCase("%APPSRCDRV%/x", "%AppSrcDrv%"));
  EXPECT_TRUE(endsWithNoCase("notes.TN", ".tn"));
  EXPECT_FALSE(endsWithNoCase("tn", ".tn"));
  EXPECT_EQ(findNoCase("a/%mydocuments%/b", "%MyDocuments%"), 2u);
  // Invalid UTF-8 never crashes and compares bytewise.
  std::string bad = "a\xff\xfe";
  EXPECT_TRUE(equalsNoCase(bad, "A\xff\xfe"));
  EXPECT_NE(compareNoCase(bad, "a"), 0);
  EXPECT_EQ(displayUtf8(bad), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Text, CuttingAndNumbers) {
  EXPECT_EQ(cutUtf8("abcdef", 3), "abc");
  EXPECT_EQ(cutUtf8("aé", 2), "a");  // never splits a character
  EXPECT_EQ(leadingNumber("  -12abc"), -12);
  EXPECT_EQ(leadingNumber("abc"), 0);
  EXPECT_GT(leadingNumber("99999999999999999999999"), 100'000'000'000L);  // large, with no overflow
  EXPECT_EQ(split("a||b", '|'), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(format("%s-%d", "x", 5), "x-5");
}

TEST(Fs, PathsAndAtomicWrites) {
  EXPECT_EQ(joinPath("/a", "b") + " " + joinPath("/", "b") + " " + joinPath("/a", ""), "/a/b /b /a");
  EXPECT_EQ(parentOf("/a/b/c.txt") + " " + parentOf("/c"), "/a/b /");
  EXPECT_EQ(lastComponent("/a/b/"), "b");
  EXPECT_EQ(withoutTrailingSlash("/"), "/");

  test::TempDir d;
  auto f = d.path() / "x.ini";
  ASSERT_TRUE(writeFileAtomic(f, "one"));
  ::chmod(f.c_str(), 0600);
  ASSERT_TRUE(writeFileAtomic(f, "two"));
  EXPECT_EQ(d.read("x.ini"), "two");
  EXPECT_EQ(std::filesystem::status(f).permissions(), std::filesystem::perms(0600));  // kept through a rewrite
  std::string err;
  EXPECT_FALSE(writeFileAtomic(d.path() / "no/such/dir/f", "x", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 1);  // no temporary files left
}

TEST(Fs, StaleSaveTemporariesGoYoungOnesAndOthersStay) {
  test::TempDir d;
  namespace sfs = std::filesystem;
  auto age = [&](const char* name, int minutes) {
    auto p = d.write(name, "half a note");
    sfs::last_write_time(p, sfs::file_time_type::clock::now() - std::chrono::minutes(minutes));
    return p;
  };
  auto stale = age(".vm-save-Ab12Cd", 2);
  auto young = age(".vm-save-Ef34Gh", 0);
  auto longer = age(".vm-save-Ab12Cd7", 5);  // not a name a save makes
  auto note = age("vm-save-Ab12Cd", 5);
  auto folder = d.mkdir(".vm-save-Ij56Kl");
  sfs::last_write_time(folder, sfs::file_time_type::clock::now() - std::chrono::minutes(5));
  EXPECT_EQ(removeStaleTempFiles(d.path()), 1);
  EXPECT_FALSE(sfs::exists(stale));
  for (const auto& p : {young, longer, note, folder}) EXPECT_TRUE(sfs::exists(p)) << p;
  EXPECT_EQ(removeStaleTempFiles(d.path() / "missing"), 0);

  // A running save's temporary is never taken for a stale one, even with no age limit.
  EXPECT_EQ(removeStaleTempFiles(d.path(), -1), 1);  // the young leftover
  std::atomic<bool> done{false};
  int saved = 0;
  std::thread saver([&] {
    for (int i = 0; i < 10; ++i) saved += writeFileAtomic(d.path() / "n.txt", std::string(2 << 20, char('a' + i)));
    done = true;
  });
  while (!done) removeStaleTempFiles(d.path(), -1);
  saver.join();
  EXPECT_EQ(saved, 10);
  EXPECT_EQ(d.read("n.txt"), std::string(2 << 20, 'j'));
}

TEST(Fs, DirectoryReadingAndMountPoints) {
  test::TempDir d;
  d.write("f.txt", "x");
  d.mkdir("sub/inner");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(readDirectory(d.path(), entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(readDirectory(d.path() / "missing", entries));
  EXPECT_TRUE(anySubFolder(d.path(), [](const std::string& n) { return n == "sub"; }));
  EXPECT_FALSE(anySubFolder(d.path() / "sub/inner", [](const std::string&) { return true; }));
  EXPECT_TRUE(mountPointOf(d.path()).is_absolute());
  EXPECT_EQ(mountPointOf("/"), "/");
}

// Whole files of every size come back byte for byte: empty, exactly the
// old read step, with NULs and high bytes, and a file that tells no size.
TEST(Fs, ReadWholeFileKeepsEveryByte) {
  test::TempDir dir;
  EXPECT_EQ(readWholeFile(dir.write("empty", "")), std::string());
  for (std::size_t size : {std::size_t{1}, std::size_t{65536}, std::size_t{65537}, std::size_t{300000}}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    EXPECT_EQ(readWholeFile(dir.write("f" + std::to_string(size), bytes)), bytes) << size;
  }
  const auto proc = readWholeFile("/proc/self/status");  // size 0 on disk, text when read
  ASSERT_TRUE(proc.has_value());
  EXPECT_NE(proc->find("Name:"), std::string::npos);
  EXPECT_FALSE(readWholeFile(dir.path() / "missing").has_value());
  EXPECT_FALSE(readWholeFile(dir.path()).has_value());  // a folder
}

TEST(AppPaths, HomeFolderChoice) {
  test::TempDir d;
  auto home = resolveHome(std::string(d.str() + "/given"), "/nonexistent");
  EXPECT_EQ(home, d.path() / "given");
  EXPECT_TRUE(std::filesystem::is_directory(home));
  ::setenv("VELLUMARK_HOME", (d.str() + "/envhome").c_str(), 1);
  EXPECT_EQ(resolveHome(std::nullopt, d.path()), d.path() / "envhome");
  ::unsetenv("VELLUMARK_HOME");
  EXPECT_EQ(resolveHome(std::nullopt, d.path()), d.path());  // a writable program folder: portable use
  d.mkdir("h/support");
  EXPECT_EQ(resolveSupport(d.path() / "h", "/nonexistent"), d.path() / "h/support");
  EXPECT_EQ(std::filesystem::status(privateTempDir()).permissions(), std::filesystem::perms(0700));
}

}  // namespace
}  // namespace vm
