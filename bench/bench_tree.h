#pragma once
// Generated folders for the benchmarks: made once, removed at exit.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace vm::bench {

inline constexpr int kFileCount = 10000;

// A temporary folder holding `files` files with mixed names, kinds and
// last-write times spread over about three years, and `folders` sub-folders.
class GeneratedFolder {
 public:
  explicit GeneratedFolder(int files = kFileCount, int folders = 20) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
    if (path_.empty()) return;
    fill(path_, files, folders);
  }
  ~GeneratedFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  GeneratedFolder(const GeneratedFolder&) = delete;
  GeneratedFolder& operator=(const GeneratedFolder&) = delete;

  const std::string& path() const { return path_; }

  static void fill(const std::string& folder, int files, int folders) {
    static const char* const kExtensions[] = {".txt", ".md", ".csv", ".png", ".html", ".zip", ".tn", ".dat", ""};
    static const char* const kStems[] = {"Notes", "report", "Äpfel", "zebra", "Budget", "draft", "Ölfarbe", "todo"};
    std::filesystem::create_directories(folder);
    unsigned seed = 12345;
    for (int i = 0; i < files; ++i) {
      seed = seed * 1103515245u + 12345u;
      char name[96];
      std::snprintf(name, sizeof name, "%s %05u-%d%s", kStems[(seed >> 8) % 8], (seed >> 12) % 100000, i,
                    kExtensions[(seed >> 4) % 9]);
      std::string full = folder + "/" + name;
      int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) continue;
      struct timespec times[2] = {{1'600'000'000 + static_cast<time_t>(seed % 100'000'000), 0},
                                  {1'600'000'000 + static_cast<time_t>((seed >> 3) % 100'000'000), 0}};
      ::futimens(fd, times);
      ::close(fd);
    }
    for (int i = 0; i < folders; ++i)
      std::filesystem::create_directories(folder + "/folder" + std::to_string(i) + "/inner");
  }

 private:
  std::string path_;
};

}  // namespace vm::bench
