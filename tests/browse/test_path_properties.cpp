#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "browse/path_properties.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

namespace sfs = std::filesystem;

TEST(PathProperties, NumbersAndPermissionsAsText) {
  EXPECT_EQ(groupedNumber(0), "0");
  EXPECT_EQ(groupedNumber(999), "999");
  EXPECT_EQ(groupedNumber(1000), "1,000");
  EXPECT_EQ(groupedNumber(1234567), "1,234,567");
  EXPECT_EQ(groupedNumber(18446744073709551615ULL), "18,446,744,073,709,551,615");
  EXPECT_EQ(permissionText(0644), "rw-r--r--");
  EXPECT_EQ(permissionText(0750), "rwxr-x---");
  EXPECT_EQ(permissionText(0), "---------");
  EXPECT_EQ(permissionText(04755), "rwsr-xr-x");
  EXPECT_EQ(permissionText(02644), "rw-r-Sr--");
  EXPECT_EQ(permissionText(01777), "rwxrwxrwt");
}

TEST(PathProperties, FileFolderLinkAndMissingPath) {
  test::TempDir dir;
  const char* oldTz = std::getenv("TZ");
  std::string savedTz = oldTz ? oldTz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();

  auto file = dir.write("notes/plan.txt", std::string(1234, 'x'));
  ::chmod(file.c_str(), 0640);
  struct timespec times[2] = {{0, 0}, {1772600767, 0}};  // 2026-03-04 05:06:07 UTC
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
  PathProperties p = describePath(file.string());
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.path, file.string());
  EXPECT_EQ(p.kind, "File");
  EXPECT_EQ(p.size, "1,234 bytes");
  EXPECT_EQ(p.modified, "2026-03-04 05:06:07");
  EXPECT_EQ(p.permissions, "rw-r----- (640)");

  dir.write("notes/one.txt", "1");
  EXPECT_EQ(describePath((dir.path() / "notes/one.txt").string()).size, "1 byte");
  PathProperties folder = describePath((dir.path() / "notes").string());
  EXPECT_EQ(folder.kind, "Folder");
  EXPECT_EQ(folder.size, "2 items");

  sfs::create_symlink("plan.txt", dir.path() / "notes/link");
  PathProperties link = describePath((dir.path() / "notes/link").string());
  EXPECT_EQ(link.kind, "Link");
  EXPECT_EQ(link.size, "to plan.txt");

  PathProperties missing = describePath((dir.path() / "gone").string());
  EXPECT_EQ(missing.error, "No such file or directory");
  EXPECT_EQ(missing.kind, "");
  EXPECT_EQ(describePath("").error, "No such file or directory");

  if (oldTz) ::setenv("TZ", savedTz.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace vm
