#include "fuzz_util.h"

#include <unistd.h>

#include <fstream>

namespace vm::fuzz {

namespace {

std::filesystem::path gScratch;

void removeScratch() {
  std::error_code ec;
  if (!gScratch.empty()) std::filesystem::remove_all(gScratch, ec);
}

}  // namespace

const std::filesystem::path& scratchFolder() {
  if (gScratch.empty()) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string tmpl = (base / "vm-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) fail("mkdtemp", tmpl);
    gScratch = tmpl;
    std::atexit(removeScratch);
  }
  return gScratch;
}

void writeFile(const std::filesystem::path& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) fail("write", path.string());
}

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "\nfuzz check failed: %s\n  %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace vm::fuzz
