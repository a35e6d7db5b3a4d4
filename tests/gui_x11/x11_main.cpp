// The tests that need a real window system: a private Xvfb server started
// for the run (the first free display, found by Xvfb itself), the xcb
// platform, and xdotool to move the real pointer. Without Xvfb or xdotool
// every test skips itself.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstring>
#include <string>

#include "x11_env.h"

extern char** environ;

namespace vm::test {

bool x11Ready = false;

namespace {

bool onPath(const char* tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t from = 0;
  while (from <= dirs.size()) {
    const std::size_t to = std::min(dirs.find(':', from), dirs.size());
    const std::string candidate = dirs.substr(from, to - from) + "/" + tool;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    from = to + 1;
  }
  return false;
}

// Starts Xvfb on a display it picks and returns its pid, or -1. The display
// number comes back through a pipe (-displayfd).
pid_t startXvfb(std::string& display) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1400x900x24", "-nolisten", "tcp", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return -1;
  }
  char buf[32] = {};
  std::size_t got = 0;
  while (got < sizeof buf - 1) {
    const ssize_t n = ::read(fds[0], buf + got, sizeof buf - 1 - got);
    if (n <= 0 || std::memchr(buf, '\n', got + static_cast<std::size_t>(n))) {
      if (n > 0) got += static_cast<std::size_t>(n);
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  ::close(fds[0]);
  if (got == 0 || buf[0] < '0' || buf[0] > '9') {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  display = ":" + std::string(buf, std::strcspn(buf, "\n"));
  return pid;
}

}  // namespace
}  // namespace vm::test

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
  pid_t xvfb = -1;
  std::string display;
  if (!listing && vm::test::onPath("Xvfb") && vm::test::onPath("xdotool")) xvfb = vm::test::startXvfb(display);
  if (xvfb > 0) {
    qputenv("DISPLAY", display.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
    vm::test::x11Ready = true;
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false;qt.qpa.*=false");
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/vellumark-test-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir.c_str());
  }
  int status = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  if (xvfb > 0) {
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
  }
  return status;
}
