#pragma once
// The real program in a process of its own, offscreen, for tests that need
// the whole program: its error output is read, signals are sent, its end
// is awaited. A program still running when the test ends is killed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace vm::test {

class Program {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts the program offscreen, typing keys into whatever has the focus
  // once the window is up (none when keys is empty).
  Program(const std::vector<std::string>& args, const std::string& keys) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(err[1], 2);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("VELLUMARK_TEST_KEYS", keys.c_str(), 1);
      ::unsetenv("VELLUMARK_HOME");
      std::vector<char*> argv{const_cast<char*>(VELLUMARK_EXE)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(VELLUMARK_EXE, argv.data());
      ::_exit(127);
    }
    ::close(err[1]);
    err_ = err[0];
  }
  ~Program() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (err_ >= 0) ::close(err_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return pid_ > 0; }

  // Reads the program's error output until it holds `text`; false on time-out or end.
  bool waitForOutput(const std::string& text, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{err_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[512];
      const ssize_t n = ::read(err_, buf, sizeof buf);
      if (n <= 0) return false;
      output_.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }
  const std::string& output() const { return output_; }

  void send(int sig) { ::kill(pid_, sig); }
  // The files the running program has mapped (/proc/PID/maps).
  std::string mappings() const {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid_) + "/maps").c_str(), "r");
    if (!f) return {};
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
  }
  // The exit status as waitpid gives it; -1 when the program did not end in time.
  int waitForEnd(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (Clock::now() < until) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  // True when the program ended by itself with exit code 0.
  static bool endedWell(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

 private:
  pid_t pid_ = -1;
  int err_ = -1;
  bool ended_ = false;
  std::string output_;
};

}  // namespace vm::test
