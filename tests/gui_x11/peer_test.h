#pragma once
// A window test with the small peer program at the other end of a drag:
// skipped without Xvfb and xdotool; the peer is ended with the test.
#include <QProcess>

#include "gui/gui_test_util.h"
#include "x11_env.h"

namespace vm::test {

class PeerTest : public ShellTest {
 protected:
  void SetUp() override {
    if (!x11Ready) GTEST_SKIP() << "needs Xvfb and xdotool";
  }
  void TearDown() override {
    if (peer_.state() != QProcess::NotRunning) {
      peer_.kill();
      peer_.waitForFinished(2000);
    }
  }

  QProcess peer_;
};

}  // namespace vm::test
