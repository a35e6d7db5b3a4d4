#include <gtest/gtest.h>

#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "core/settings_store.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

// The expanded path and whether its folder exists.
std::pair<std::string, bool> expand(std::string p, const PathEnv& env) {
  const bool ok = expandPathVariables(p, env);
  return {p, ok};
}

std::string contract(std::string p, const PathEnv& env) {
  contractPathForRemote(p, env);
  return p;
}

TEST(PathVariables, ExpandAndContract) {
  test::TempDir d;
  d.mkdir("stick/notes");
  d.mkdir("docs/work");
  PathEnv env;
  env.appSrcDrv = d.str() + "/stick";
  env.documents = d.str() + "/docs";
  EXPECT_EQ(expand("%AppSrcDrv%/notes", env), std::make_pair(d.str() + "/stick/notes", true));
  EXPECT_EQ(expand("%mydocuments%/work", env), std::make_pair(d.str() + "/docs/work", true));  // any case
  EXPECT_EQ(expand("%AppSrcDrv%/missing", env), std::make_pair(d.str() + "/stick/missing", false));
  env.documents.reset();  // no documents folder: the variable stays
  EXPECT_EQ(expand("%MyDocuments%/work", env), std::make_pair(std::string("%MyDocuments%/work"), false));
  const PathEnv rootFs;  // the program on the root file system
  EXPECT_EQ(expand("%AppSrcDrv%/tmp", rootFs), std::make_pair(std::string("/tmp"), true));

  // Contracting happens only on the program's own file system, and only once.
  env.appSrcDrv = "/media/u/STICK";
  EXPECT_EQ(contract("/media/u/STICK/notes/a", env), "%AppSrcDrv%/notes/a");
  EXPECT_EQ(contract("%AppSrcDrv%/notes/a", env), "%AppSrcDrv%/notes/a");
  EXPECT_EQ(contract("/media/u/STICKY/x", env), "/media/u/STICKY/x");  // another mount
  EXPECT_EQ(contract("/home/a/notes", rootFs), "%AppSrcDrv%/home/a/notes");
}

TEST(Roots, AddAndFind) {
  Roots roots;  // the limit is checked by loading roots below
  auto sink = [](const std::string&) {};
  EXPECT_EQ(roots.add("/a/", "/a/", "", "", ".txt", sink), 0);
  EXPECT_EQ(roots.at(0).displayName, "/a");  // no name: the folder, without its trailing slash
  EXPECT_EQ(roots.at(0).defaultExtension, ".txt");
  EXPECT_EQ(roots.add("/b", "/b", "Notes", ".markdownx", ".txt", sink), 1);
  EXPECT_EQ(roots.at(1).defaultExtension, ".markdown");  // cut to nine characters
  EXPECT_EQ(roots.find("NOTES"), 1);
  EXPECT_EQ(roots.find("/A"), 0);
  EXPECT_EQ(roots.find("/a/"), 0);
  EXPECT_EQ(roots.find("nothing"), -1);
}

// Roots loaded from an INI text; "docs" and "fern" are folders of the temporary tree.
struct LoadedRoots {
  test::TempDir d;
  SettingsStore store;
  Roots roots;
  std::vector<std::string> said;
  void load(const std::string& ini, const std::string& fern = "fern") {
    d.mkdir("docs");
    d.mkdir("fern");
    d.write("v.ini", ini);
    ASSERT_TRUE(store.load(d.path() / "v.ini"));
    Settings settings(store);
    PathEnv env;
    env.documents = d.str() + "/docs";
    env.fernhollow = d.str() + "/" + fern;
    env.fileSystemRoot = "/";
    roots.load(settings, env, [this](const std::string& s) { said.push_back(s); });
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int i = 0; i < roots.count(); ++i) out.push_back(roots.at(i).displayName);
    return out;
  }
};

TEST(Roots, LoadConfiguredThenAutomaticRoots) {
  LoadedRoots r;
  const std::string d = r.d.str();
  r.d.mkdir("one");
  r.d.mkdir("two");
  r.load("[General]\nDefaultExtension=.md\n[BasicRoots]\n" + d + "/one=First;.txt\n" + d +
         "/gone=Gone;.txt\n"  // missing folder: skipped, kept in the file
         "%AppSrcDrv%" + d + "/two=Second\n");
  ASSERT_EQ(r.names(), (std::vector<std::string>{"First", "Second", "My Documents", "Fernhollow", "File System"}));
  EXPECT_EQ(r.roots.at(0).defaultExtension, ".txt");
  EXPECT_EQ(r.roots.at(1).configuredRoot, "%AppSrcDrv%" + d + "/two");
  EXPECT_EQ(r.roots.at(1).rootFolder, d + "/two");
  EXPECT_EQ(r.roots.at(1).defaultExtension, ".md");  // no comment: DefaultExtension
  EXPECT_EQ(r.roots.at(4).rootFolder, "/");
  EXPECT_NE(r.d.read("v.ini").find("Gone"), std::string::npos);
}

TEST(Roots, AutomaticRootsCountAgainstTheLimitAndFollowTheirSwitches) {
  LoadedRoots full;
  std::string ini = "[BasicRoots]\n";
  for (int i = 0; i < 24; ++i) {
    full.d.mkdir("r" + std::to_string(i));
    ini += full.d.str() + "/r" + std::to_string(i) + "=R" + std::to_string(i) + "\n";
  }
  full.load(ini);
  EXPECT_EQ(full.names().size(), 25u);
  EXPECT_EQ(full.names().back(), "My Documents");
  EXPECT_EQ(full.said, (std::vector<std::string>(2, "Hit maximum number of roots")));
  EXPECT_EQ(full.roots.add("/z", "/z", "", "", ".txt", {}), -1);

  LoadedRoots none;
  none.load("[General]\nRootAutoAddMyDocuments=0\nRootAutoAddCDrive=no\n", "none");
  EXPECT_TRUE(none.names().empty());
  EXPECT_FALSE(none.roots.current().inUse);  // an empty table still answers safely
}

TEST(Roots, PerpetualNoteValue) {
  using Parts = std::optional<std::array<std::string, 4>>;
  EXPECT_EQ(splitPerpetualNote(""), std::nullopt);
  EXPECT_EQ(splitPerpetualNote("/n|/n/a|b|todo.txt"), (Parts{{"/n", "/n/a", "b", "todo.txt"}}));
  EXPECT_EQ(splitPerpetualNote("/n|/n"), (Parts{{"/n", "/n", "", ""}}));  // short values leave the rest empty
}

}  // namespace
}  // namespace vm
