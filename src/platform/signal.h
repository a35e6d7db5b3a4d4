#pragma once
// A minimal change notification: the core's models announce changes through
// signals; the shell connects its views to them.
#include <functional>
#include <vector>

namespace vm {

template <class... Args>
class Signal {
 public:
  using Slot = std::function<void(Args...)>;
  void connect(Slot s) { slots_.push_back(std::move(s)); }
  void operator()(Args... args) const {
    for (const auto& s : slots_) s(args...);
  }

 private:
  std::vector<Slot> slots_;
};

}  // namespace vm
