#pragma once
// Helpers shared by the sheet suites.
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/ports.h"
#include "sheet/csv.h"
#include "sheet/sheet.h"

namespace vm::test {

// A pump that counts its steps, records progress and can ask to stop.
class RecordingPump : public Pump {
 public:
  int stopAfter = -1;  // answer "quit" at this step (0-based); -1 never
  int steps = 0;
  std::vector<int> progress_;
  bool step() override {
    const int n = steps++;
    return stopAfter >= 0 && n >= stopAfter;
  }
  void progress(int percent) override { progress_.push_back(percent); }
};

// Options that keep settings files and backups inside dir.
inline SheetOptions optionsIn(const TempDir& dir) {
  SheetOptions o;
  o.fileInfoFolder = dir.str() + "/file_info";
  o.makeBackups = false;
  return o;
}

// Every row of a loaded table, texts of all columns joined with "|".
inline std::vector<std::string> rowsOf(const CellTable& t) {
  std::vector<std::string> out;
  for (std::size_t id = 0; id < t.rowCount(); ++id) {
    if (t.isDeleted(id)) continue;
    std::string line;
    for (int c = 0; c < t.columnCount(); ++c) line += (c ? "|" : "") + std::string(t.text(id, c));
    out.push_back(line);
  }
  return out;
}

// The view rows of an open sheet, joined the same way.
inline std::vector<std::string> rowsOf(const Sheet& s) {
  std::vector<std::string> out;
  for (int r = 0; r < s.rowCount(); ++r) {
    std::string line;
    for (int c = 0; c < s.columnCount(); ++c) line += (c ? "|" : "") + std::string(s.text(r, c));
    out.push_back(line);
  }
  return out;
}

// Opens text written to dir/name; fails the test when it does not open.
inline bool openText(Sheet& s, const TempDir& dir, const std::string& name, const std::string& text,
                     const SheetOptions& o) {
  dir.write(name, text);
  return s.open(dir.str() + "/" + name, o).ok();
}

}  // namespace vm::test
