#pragma once
// The local HTTP server of the download tests (hostile_server.py beside
// this file), started once per test program on 127.0.0.1, with a
// self-signed certificate made for the run when openssl is there.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/fs.h"

extern char** environ;

namespace vm::test {

// Runs a program to its end; its exit status, -1 when it did not start.
inline int runProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The local server, started once for the whole suite, with a self-signed
// certificate made for this run when openssl is there.
class HostileServer {
 public:
  static HostileServer& get() {
    static HostileServer server;
    return server;
  }
  bool running() const { return port_ > 0; }
  bool hasTls() const { return tlsPort_ > 0; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string tlsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(tlsPort_) + path;
  }
  int port() const { return port_; }
  const std::string& certFile() const { return cert_; }

 private:
  HostileServer() {
    const std::string script = std::string(VELLUMARK_TEST_DATA) + "/../import/hostile_server.py";
    const std::string python = pathExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    std::vector<std::string> argv{python, script};
    cert_ = (dir_.path() / "cert.pem").string();
    const std::string key = (dir_.path() / "key.pem").string();
    if (runProgram({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert_,
                    "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"}) == 0) {
      argv.push_back(cert_);
      argv.push_back(key);
    }
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const int rc = posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
      close(out[0]);
      return;
    }
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[64];
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    std::sscanf(line.c_str(), "%d %d", &port_, &tlsPort_);
  }
  ~HostileServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  TempDir dir_;
  pid_t pid_ = 0;
  int port_ = 0, tlsPort_ = 0;
  std::string cert_;
};

}  // namespace vm::test
