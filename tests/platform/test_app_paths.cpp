#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/app_paths.h"

namespace vm {
namespace {

// The support folder is looked up in a fixed order; each case below removes
// the winner of the one before and checks who wins next.
TEST(SupportFolder, LookupOrderFromHomeToDataFolder) {
  test::TempDir d;
  const auto home = d.mkdir("home");
  const auto bin = d.mkdir("root/usr/bin");
  const auto data = d.path() / "configured/share/vellumark";

  // Nothing exists anywhere: the configured data folder, even though missing.
  EXPECT_EQ(resolveSupport(home, bin, data), data / "support");

  // An installed tree unpacked somewhere else: found beside the executable.
  d.mkdir("root/usr/share/vellumark/support");
  EXPECT_EQ(resolveSupport(home, bin, data), d.path() / "root/usr/share/vellumark/support");

  // The build folder's copy beside the executable comes before it.
  d.mkdir("root/usr/bin/support");
  EXPECT_EQ(resolveSupport(home, bin, data), bin / "support");

  // The home folder's own copy comes first of all.
  d.mkdir("home/support");
  EXPECT_EQ(resolveSupport(home, bin, data), home / "support");
}

TEST(SupportFolder, InstalledTreeIsFoundThroughDotDot) {
  test::TempDir d;
  d.mkdir("prefix/share/vellumark/support");
  const auto data = d.path() / "elsewhere";
  // A path to the executable's folder that itself holds ".." still lands on
  // the share folder, written without the detour.
  const auto bin = d.mkdir("prefix/bin") / ".." / "bin";
  EXPECT_EQ(resolveSupport(d.path() / "nohome", bin, data), d.path() / "prefix/share/vellumark/support");
  // A file named like the folder does not count.
  test::TempDir e;
  e.write("p/share/vellumark/support", "not a folder");
  EXPECT_EQ(resolveSupport(e.path() / "nohome", e.mkdir("p/bin"), data), data / "support");
  // No executable folder known: straight to the data folder.
  EXPECT_EQ(resolveSupport(e.path() / "nohome", "", data), data / "support");
}

}  // namespace
}  // namespace vm
