#pragma once
// Shared helpers of the fuzz targets: a private scratch folder and a check
// that aborts with a message, so libFuzzer saves the input that broke a
// promise of the code (not only a crash).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace vm::fuzz {

// A folder of this process under the system's temporary folder, made on the
// first call and removed at exit.
const std::filesystem::path& scratchFolder();

// Writes data to path (replacing it); aborts when it cannot.
void writeFile(const std::filesystem::path& path, std::string_view data);

[[noreturn]] void fail(const char* what, const std::string& detail);

}  // namespace vm::fuzz

#define FUZZ_CHECK(cond, detail)                         \
  do {                                                   \
    if (!(cond)) ::vm::fuzz::fail(#cond, (detail));      \
  } while (0)
