#pragma once
// In-memory port implementations: tests drive the App with these instead
// of a screen.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/app.h"
#include "fakes/temp_dir.h"
#include "platform/ports.h"

namespace vm::test {

class FakeClock : public Clock {
 public:
  std::int64_t now = 1700000000LL * 1000000000LL;
  std::int64_t nowNs() override { return now; }
};

class FakeTimers : public Timers {
 public:
  std::map<int, int> running;  // id -> period
  void start(int id, int periodMs) override { running[id] = periodMs; }
  void stop(int id) override { running.erase(id); }
  bool isRunning(int id) const { return running.count(id) != 0; }
};

class FakeWindow : public WindowPort {
 public:
  bool foreground = true;
  bool onTop = false;
  int quits = 0;
  bool isForeground() override { return foreground; }
  void setStayOnTop(bool on) override { onTop = on; }
  void quit() override { ++quits; }
};

class FakeDesktop : public Desktop {
 public:
  std::vector<std::vector<std::string>> started;
  bool startInstance(const std::vector<std::string>& args) override {
    started.push_back(args);
    return true;
  }
};

class FakeDialogs : public Dialogs {
 public:
  std::vector<std::string> shown;
  bool answer = true;
  void information(const std::string& title, const std::string& text) override { shown.push_back(title + ": " + text); }
  bool confirm(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
    return answer;
  }
};

// A home folder, a documents folder and a stand-in for "/" in one temporary
// tree, plus the fakes, ready to build an App.
class AppHarness {
 public:
  AppHarness();
  // Writes the INI file (vellumark.ini in the home folder).
  void ini(const std::string& text) const;
  std::string iniText() const;
  // Builds (or rebuilds) the App and runs its start-up.
  App& start(const std::string& commandLineFile = {});
  App& app() { return *app_; }

  TempDir dir;
  std::string home, docs, fileSystem, support;
  FakeClock clock;
  FakeTimers timers;
  FakeWindow window;
  FakeDesktop desktop;
  FakeDialogs dialogs;
  AppEnvironment env;

 private:
  std::unique_ptr<App> app_;
};

}  // namespace vm::test
