#include "fakes/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <system_error>

namespace vm::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vmtest-XXXXXX").string();
  char* p = ::mkdtemp(tmpl.data());
  path_ = p ? std::filesystem::path(p) : std::filesystem::temp_directory_path();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only test folders removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(std::string_view relative, std::string_view content) const {
  auto p = path_ / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return p;
}

std::filesystem::path TempDir::mkdir(std::string_view relative) const {
  auto p = path_ / relative;
  std::filesystem::create_directories(p);
  return p;
}

std::string TempDir::read(std::string_view relative) const {
  std::ifstream in(path_ / relative, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace vm::test
