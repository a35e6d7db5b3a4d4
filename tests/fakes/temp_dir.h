#pragma once
// A temporary folder that removes itself, for tests that touch the disk.
#include <filesystem>
#include <string>
#include <string_view>

namespace vm::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes a file (creating folders on the way) and returns its full path.
  std::filesystem::path write(std::string_view relative, std::string_view content) const;
  std::filesystem::path mkdir(std::string_view relative) const;
  std::string read(std::string_view relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vm::test
