#pragma once
// Set by the x11 test main: a private Xvfb runs and the xcb platform is in use.
namespace vm::test {
extern bool x11Ready;
}  // namespace vm::test
