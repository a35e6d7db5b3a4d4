#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

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

// A writable program folder is the home folder (portable use) unless it is
// the bin folder of an installed tree, as /usr/bin is for root.
TEST(HomeFolder, InstalledBinFolderIsNeverTheHome) {
  test::TempDir d;
  const char* before = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
  ::unsetenv("VELLUMARK_HOME");
  const std::string config = d.str() + "/config";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const auto portable = d.mkdir("stick/vellumark");
  d.mkdir("stick/vellumark/support");
  EXPECT_EQ(resolveHome(std::nullopt, portable), portable);

  const auto bin = d.mkdir("usr/bin");
  EXPECT_EQ(resolveHome(std::nullopt, bin), bin);  // no share folder beside it yet: still portable
  d.mkdir("usr/share/vellumark/support");
  const auto home = resolveHome(std::nullopt, bin);
  EXPECT_EQ(home, std::filesystem::path(config) / "vellumark");
  EXPECT_TRUE(std::filesystem::is_directory(home));
  // --home still wins over everything.
  EXPECT_EQ(resolveHome(d.str() + "/given", bin), d.path() / "given");
  if (saved) {
    ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace vm
