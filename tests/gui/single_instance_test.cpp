// Two starts of the real program with the same home folder: the later one
// hands its file to the running window and ends; other home folders,
// --new-window and a socket left by a killed program keep starts apart.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "core/single_instance.h"
#include "fakes/temp_dir.h"
#include "gui/program.h"
#include "platform/app_paths.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

constexpr int kStartMs = 60000;
constexpr int kEndMs = 30000;
// A later start only connects, sends and waits for the answer.
constexpr int kHandOverMs = 15000;

// A home folder with settings that do not save by themselves, and notes in two folders.
struct Homes {
  TempDir dir;
  std::string home = dir.mkdir("home").string();
  std::string a = dir.write("one/a.txt", "alpha\n").string();
  std::string b = dir.write("two/b.txt", "beta\n").string();
  Homes() { dir.write("home/vellumark.ini", "[General]\nAutoSave=0\n"); }
  std::string socket() const {
    return instanceSocketPath(privateTempDir(), instanceKey(::getuid(), home), ::getuid()).string();
  }
};

void endAndCheck(Program& p) {
  p.send(SIGTERM);
  const int status = p.waitForEnd(kEndMs);
  EXPECT_TRUE(Program::endedWell(status)) << status << " " << p.output();
}

TEST(SingleInstance, ALaterStartHandsItsFileToTheRunningWindow) {
  Homes h;
  ASSERT_FALSE(h.socket().empty());
  Program first({"--home", h.home, h.a}, "typed ");
  ASSERT_TRUE(first.waitForOutput("test keys typed into noteEditor\n", kStartMs)) << first.output();

  const auto began = std::chrono::steady_clock::now();
  Program second({"--home", h.home, h.b}, "");
  const int status = second.waitForEnd(kHandOverMs);
  EXPECT_TRUE(Program::endedWell(status)) << status << " " << second.output();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
  std::printf("hand-over took %lld ms\n", static_cast<long long>(took.count()));

  // The first window left its note (saving the typing) and shows the new one.
  ASSERT_TRUE(first.waitForOutput("another start handed over " + h.b + "; the window shows b.txt\n", kEndMs))
      << first.output();
  EXPECT_EQ(h.dir.read("one/a.txt"), "typed alpha\n");
  EXPECT_EQ(h.dir.read("two/b.txt"), "beta\n");

  // A start without a file only brings the window to the front.
  Program third({"--home", h.home}, "");
  EXPECT_TRUE(Program::endedWell(third.waitForEnd(kHandOverMs))) << third.output();
  endAndCheck(first);
}

TEST(SingleInstance, OtherHomeFoldersAndNewWindowsStartWindowsOfTheirOwn) {
  Homes h, other;
  Program first({"--home", h.home}, "");
  // The first window takes the socket.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
  while (!fs::exists(h.socket()) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(h.socket())) << first.output();

  // Another home folder: a window of its own, which types its keys itself.
  Program elsewhere({"--home", other.home, other.b}, "x");
  EXPECT_TRUE(elsewhere.waitForOutput("test keys typed into noteEditor\n", kStartMs)) << elsewhere.output();
  // The same home folder with --new-window: a window of its own too.
  Program fresh({"--new-window", "--home", h.home, h.b}, "y");
  EXPECT_TRUE(fresh.waitForOutput("test keys typed into noteEditor\n", kStartMs)) << fresh.output();
  // Neither took the running window's socket: a later start still reaches the first.
  Program later({"--home", h.home, h.a}, "");
  EXPECT_TRUE(Program::endedWell(later.waitForEnd(kHandOverMs))) << later.output();
  EXPECT_TRUE(first.waitForOutput("another start handed over " + h.a, kEndMs)) << first.output();
  EXPECT_EQ(first.output().find(h.b), std::string::npos) << first.output();
  endAndCheck(elsewhere);
  endAndCheck(fresh);
  endAndCheck(first);
  // What the other windows typed went into their own notes.
  EXPECT_EQ(other.dir.read("two/b.txt"), "xbeta\n");
  EXPECT_EQ(h.dir.read("two/b.txt"), "ybeta\n");
}

TEST(SingleInstance, ASocketLeftByAKilledProgramDoesNotBlockAStart) {
  Homes h;
  const std::string path = h.socket();
  ASSERT_FALSE(path.empty());
  // A socket file nobody listens at any more, as a killed program leaves it.
  fs::remove(path);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << std::strerror(errno);
  ::close(fd);
  ASSERT_TRUE(fs::exists(path));

  Program first({"--home", h.home, h.a}, "z");
  ASSERT_TRUE(first.waitForOutput("test keys typed into noteEditor\n", kStartMs)) << first.output();
  // It took the socket over: a later start hands over to it.
  Program second({"--home", h.home, h.b}, "");
  EXPECT_TRUE(Program::endedWell(second.waitForEnd(kHandOverMs))) << second.output();
  EXPECT_TRUE(first.waitForOutput("another start handed over " + h.b, kEndMs)) << first.output();
  endAndCheck(first);
  EXPECT_EQ(h.dir.read("one/a.txt"), "zalpha\n");
}

}  // namespace
}  // namespace vm::test
