// The hand-over between two starts: the key that decides who meets whom,
// the socket's folder check, the request's bytes, and the App opening a
// handed-over file while a note with unsaved typing is open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/single_instance.h"
#include "fakes/fake_ports.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

namespace fs = std::filesystem;
using test::RootHarness;
using test::TempDir;

TEST(InstanceKey, SameFolderMeetsAndOtherFoldersOrUsersDoNot) {
  TempDir dir;
  const fs::path home = dir.mkdir("home");
  dir.mkdir("other");
  fs::create_directory_symlink(home, dir.path() / "link");
  const std::string key = instanceKey(1000, home);
  EXPECT_EQ(key.rfind("vellumark-", 0), 0u) << key;
  EXPECT_EQ(key.size(), std::string("vellumark-").size() + 16);
  // The same folder written another way, or reached through a link.
  EXPECT_EQ(instanceKey(1000, home.string() + "/"), key);
  EXPECT_EQ(instanceKey(1000, dir.path() / "other" / ".." / "home"), key);
  EXPECT_EQ(instanceKey(1000, dir.path() / "link"), key);
  // Another home folder, another user.
  EXPECT_NE(instanceKey(1000, dir.path() / "other"), key);
  EXPECT_NE(instanceKey(1001, home), key);
  // A home folder not made yet still has a key of its own.
  EXPECT_NE(instanceKey(1000, dir.path() / "later"), key);
  EXPECT_EQ(instanceKey(1000, dir.path() / "later"), instanceKey(1000, dir.path() / "later/"));
}

TEST(InstanceKey, SocketOnlyInAPrivateFolderOfTheUser) {
  TempDir dir;
  const fs::path mine = dir.mkdir("mine");
  ::chmod(mine.c_str(), 0700);
  const unsigned long uid = ::getuid();
  EXPECT_EQ(instanceSocketPath(mine, "vellumark-k", uid), mine / "vellumark-k.sock");
  // Someone else's uid, a folder the group may enter, a link, a file, nothing.
  EXPECT_TRUE(instanceSocketPath(mine, "vellumark-k", uid + 1).empty());
  const fs::path shared = dir.mkdir("shared");
  ::chmod(shared.c_str(), 0750);
  EXPECT_TRUE(instanceSocketPath(shared, "vellumark-k", uid).empty());
  fs::create_directory_symlink(mine, dir.path() / "link");
  EXPECT_TRUE(instanceSocketPath(dir.path() / "link", "vellumark-k", uid).empty());
  EXPECT_TRUE(instanceSocketPath(dir.write("file", "x"), "vellumark-k", uid).empty());
  EXPECT_TRUE(instanceSocketPath(dir.path() / "none", "vellumark-k", uid).empty());
  // A path too long for a socket address.
  fs::path deep = mine;
  while (deep.native().size() < 120) deep /= "deeper";
  fs::create_directories(deep);
  ::chmod(deep.c_str(), 0700);
  EXPECT_TRUE(instanceSocketPath(deep, "vellumark-k", uid).empty());
}

TEST(OpenRequest, ArrivesWholeWhateverThePieces) {
  const std::vector<std::string> paths{"/home/a/notes/plan.txt", "", "/odd/name\nwith break and \xe9 byte.txt",
                                       std::string(4095, 'x')};
  std::string stream;
  for (const auto& p : paths) stream += encodeOpenRequest(p);
  EXPECT_EQ(encodeOpenRequest("/a b"), "open 4\n/a b");
  // All at once, and one byte at a time.
  for (std::size_t piece : {stream.size(), std::size_t(1), std::size_t(7)}) {
    OpenRequestReader r;
    std::vector<std::string> got;
    for (std::size_t i = 0; i < stream.size(); i += piece) {
      r.feed(std::string_view(stream).substr(i, piece));
      while (auto p = r.next()) got.push_back(*p);
    }
    EXPECT_FALSE(r.broken()) << piece;
    EXPECT_EQ(got, paths) << piece;
    EXPECT_FALSE(r.next());
  }
}

TEST(OpenRequest, AnythingElseBreaksTheReader) {
  for (const std::string& bad : {std::string("GET / HTTP/1.0\r\n"), std::string("open x\n/a"), std::string("open \n"),
                                std::string("open 4096\n"), std::string("open -1\n/"), std::string("open 99999999999\n"),
                                std::string("open 3\na\0b", 10), std::string("open 0000000000000000000001\n/")}) {
    OpenRequestReader r;
    r.feed(bad);
    EXPECT_FALSE(r.next()) << bad;
    EXPECT_TRUE(r.broken()) << bad;
    // A good request after the bad bytes is not taken either.
    r.feed(encodeOpenRequest("/a"));
    EXPECT_FALSE(r.next()) << bad;
  }
  // Incomplete is not broken: the rest may come.
  OpenRequestReader r;
  r.feed("ope");
  EXPECT_FALSE(r.next());
  r.feed("n 2\n/");
  EXPECT_FALSE(r.next());
  EXPECT_FALSE(r.broken());
  r.feed("b");
  EXPECT_EQ(r.next(), std::optional<std::string>("/b"));
}

TEST(AppHandOver, ALaterFileMovesTheCommandLineRootAndKeepsTheTypingInItsNote) {
  RootHarness h("AutoSave=0");
  h.dir.write("first/a.txt", "alpha\n");
  h.dir.write("second/b.txt", "beta\n");
  h.dir.write("second/c.txt", "gamma\n");
  App& app = h.start();
  const int rootsBefore = app.roots().count();
  app.openCommandLineFile(h.dir.str() + "/first/a.txt");
  EXPECT_EQ(app.rootListCurrent(), "Command Line");
  ASSERT_EQ(app.fileList().selectedName(), "a.txt");
  h.type("typed ");
  ASSERT_TRUE(app.noteModified());

  // Another start hands over a file of another folder.
  app.openCommandLineFile(h.dir.str() + "/second/b.txt");
  EXPECT_EQ(h.dir.read("first/a.txt"), "alpha\ntyped ");
  EXPECT_FALSE(fs::exists(h.dir.path() / "second/a.txt"));
  EXPECT_EQ(app.roots().count(), rootsBefore + 1);
  EXPECT_EQ(std::count(app.rootListItems().begin(), app.rootListItems().end(), "Command Line"), 1);
  EXPECT_EQ(app.rootListCurrent(), "Command Line");
  EXPECT_EQ(app.roots().current().rootFolder, h.dir.str() + "/second");
  EXPECT_EQ(app.fileList().selectedName(), "b.txt");
  EXPECT_EQ(h.title(), "b.txt");

  // A root typed in the Root List since then does not take the file.
  app.rootTyped(h.dir.str() + "/first");
  app.openCommandLineFile(h.dir.str() + "/second/c.txt");
  EXPECT_EQ(app.rootListCurrent(), "Command Line");
  EXPECT_EQ(app.fileList().selectedName(), "c.txt");
}

}  // namespace
}  // namespace vm
