#pragma once
// A pump that records the longest time between two of its steps: how long a
// long load held the window at most.
#include <algorithm>
#include <chrono>

#include "platform/ports.h"

class GapPump : public vm::Pump {
 public:
  bool step() override {
    const auto now = std::chrono::steady_clock::now();
    gap_ = std::max(gap_, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
    return false;
  }
  void progress(int) override {}
  void start() { last_ = std::chrono::steady_clock::now(); }
  double maxGapMs() const { return gap_; }

 private:
  std::chrono::steady_clock::time_point last_;
  double gap_ = 0;
};
