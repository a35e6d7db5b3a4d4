#include <gtest/gtest.h>

#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "core/settings_store.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

TEST(PathVariables, ExpandAppSrcDrvAndDocuments) {
  test::TempDir d;
  d.mkdir("stick/notes");
  d.mkdir("docs/work");
  PathEnv env;
  env.appSrcDrv = (d.path() / "stick").string();
  env.documents = (d.path() / "docs").string();

  std::string p = "%AppSrcDrv%/notes";
  EXPECT_TRUE(expandPathVariables(p, env));
  EXPECT_EQ(p, (d.path() / "stick/notes").string());

  p = "%mydocuments%/work";  // variables ignore case
  EXPECT_TRUE(expandPathVariables(p, env));
  EXPECT_EQ(p, (d.path() / "docs/work").string());

  p = "%AppSrcDrv%/missing";  // expanded, but the folder does not exist
  EXPECT_FALSE(expandPathVariables(p, env));
  EXPECT_EQ(p, (d.path() / "stick/missing").string());

  env.documents.reset();  // no documents folder: the variable stays and the result is false
  p = "%MyDocuments%/work";
  EXPECT_FALSE(expandPathVariables(p, env));
  EXPECT_EQ(p, "%MyDocuments%/work");

  PathEnv rootFs;  // the program on the root file system
  p = "%AppSrcDrv%/tmp";
  EXPECT_TRUE(expandPathVariables(p, rootFs));
  EXPECT_EQ(p, "/tmp");
}

TEST(PathVariables, ContractOnlyOnTheProgramsFileSystem) {
  PathEnv env;
  env.appSrcDrv = "/media/u/STICK";
  std::string p = "/media/u/STICK/notes/a";
  contractPathForRemote(p, env);
  EXPECT_EQ(p, "%AppSrcDrv%/notes/a");
  contractPathForRemote(p, env);  // already contracted: unchanged
  EXPECT_EQ(p, "%AppSrcDrv%/notes/a");
  p = "/media/u/STICKY/x";  // a longer name on another mount is not the stick
  contractPathForRemote(p, env);
  EXPECT_EQ(p, "/media/u/STICKY/x");
  PathEnv rootFs;
  p = "/home/a/notes";
  contractPathForRemote(p, rootFs);
  EXPECT_EQ(p, "%AppSrcDrv%/home/a/notes");
}

TEST(Roots, AddFindAndLimit) {
  Roots roots;
  std::vector<std::string> said;
  auto sink = [&](const std::string& s) { said.push_back(s); };
  EXPECT_EQ(roots.add("/a/", "/a/", "", "", ".txt", sink), 0);
  EXPECT_EQ(roots.at(0).displayName, "/a");  // no name: the folder, without its trailing slash
  EXPECT_EQ(roots.at(0).defaultExtension, ".txt");
  EXPECT_EQ(roots.add("/b", "/b", "Notes", ".markdownx", ".txt", sink), 1);
  EXPECT_EQ(roots.at(1).defaultExtension, ".markdown");  // cut to nine characters
  EXPECT_EQ(roots.find("NOTES"), 1);
  EXPECT_EQ(roots.find("/A"), 0);
  EXPECT_EQ(roots.find("/a/"), 0);
  EXPECT_EQ(roots.find("nothing"), -1);
  for (int i = 2; i < 25; ++i) EXPECT_EQ(roots.add("/r", "/r", "", "", ".txt", sink), i);
  EXPECT_EQ(roots.add("/z", "/z", "", "", ".txt", sink), -1);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "Hit maximum number of roots");
}

TEST(Roots, LoadConfiguredThenAutomaticRoots) {
  test::TempDir d;
  d.mkdir("one");
  d.mkdir("two");
  d.mkdir("docs");
  d.mkdir("fern");
  std::string ini = "[General]\nDefaultExtension=.md\n[BasicRoots]\n";
  ini += d.str() + "/one=First;.txt\n";
  ini += d.str() + "/gone=Gone;.txt\n";  // missing folder: skipped, kept in the file
  ini += "%AppSrcDrv%" + d.str() + "/two=Second\n";
  d.write("v.ini", ini);
  SettingsStore store;
  ASSERT_TRUE(store.load(d.path() / "v.ini"));
  Settings settings(store);
  PathEnv env;
  env.documents = d.str() + "/docs";
  env.fernhollow = d.str() + "/fern";
  env.fileSystemRoot = "/";
  Roots roots;
  roots.load(settings, env, nullptr);
  ASSERT_EQ(roots.count(), 5);
  EXPECT_EQ(roots.at(0).displayName, "First");
  EXPECT_EQ(roots.at(0).defaultExtension, ".txt");
  EXPECT_EQ(roots.at(1).displayName, "Second");
  EXPECT_EQ(roots.at(1).configuredRoot, "%AppSrcDrv%" + d.str() + "/two");
  EXPECT_EQ(roots.at(1).rootFolder, d.str() + "/two");
  EXPECT_EQ(roots.at(1).defaultExtension, ".md");  // no comment: DefaultExtension
  EXPECT_EQ(roots.at(2).displayName, "My Documents");
  EXPECT_EQ(roots.at(3).displayName, "Fernhollow");
  EXPECT_EQ(roots.at(4).displayName, "File System");
  EXPECT_EQ(roots.at(4).rootFolder, "/");
  EXPECT_NE(d.read("v.ini").find("Gone"), std::string::npos);
}

TEST(Roots, AutomaticRootsCountAgainstTheLimit) {
  test::TempDir d;
  d.mkdir("docs");
  d.mkdir("fern");
  std::string ini = "[BasicRoots]\n";
  for (int i = 0; i < 24; ++i) {
    d.mkdir("r" + std::to_string(i));
    ini += d.str() + "/r" + std::to_string(i) + "=R" + std::to_string(i) + "\n";
  }
  d.write("v.ini", ini);
  SettingsStore store;
  store.load(d.path() / "v.ini");
  Settings settings(store);
  PathEnv env;
  env.documents = d.str() + "/docs";
  env.fernhollow = d.str() + "/fern";
  Roots roots;
  std::vector<std::string> said;
  roots.load(settings, env, [&](const std::string& s) { said.push_back(s); });
  EXPECT_EQ(roots.count(), 25);
  EXPECT_EQ(roots.at(24).displayName, "My Documents");
  EXPECT_EQ(said, (std::vector<std::string>{"Hit maximum number of roots", "Hit maximum number of roots"}));
}

TEST(Roots, AutomaticRootsFollowTheirSwitches) {
  test::TempDir d;
  d.mkdir("docs");
  d.write("v.ini", "[General]\nRootAutoAddMyDocuments=0\nRootAutoAddCDrive=no\n");
  SettingsStore store;
  store.load(d.path() / "v.ini");
  Settings settings(store);
  PathEnv env;
  env.documents = d.str() + "/docs";
  env.fernhollow = d.str() + "/none";
  Roots roots;
  roots.load(settings, env, nullptr);
  EXPECT_EQ(roots.count(), 0);
  EXPECT_FALSE(roots.current().inUse);  // an empty table still answers safely
}

TEST(Roots, PerpetualNoteValue) {
  EXPECT_FALSE(splitPerpetualNote(""));
  auto f = splitPerpetualNote("/n|/n/a|b|todo.txt");
  ASSERT_TRUE(f);
  EXPECT_EQ((*f)[0], "/n");
  EXPECT_EQ((*f)[1], "/n/a");
  EXPECT_EQ((*f)[2], "b");
  EXPECT_EQ((*f)[3], "todo.txt");
  auto g = splitPerpetualNote("/n|/n");  // short values leave the rest empty
  ASSERT_TRUE(g);
  EXPECT_EQ((*g)[3], "");
}

}  // namespace
}  // namespace vm
