// Lists the files of a folder the way the File List does (full listing,
// sorted by name) and prints their count: the listing as a whole process,
// linked with nothing else, to set beside `ls -l` of the same folder.
//   vellumark_list FOLDER [times]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "browse/listing.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vellumark_list FOLDER [times]\n");
    return 2;
  }
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  const int times = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  for (int i = 0; i < times; ++i) listing.listFilesFull(argv[1], rules, false);
  std::printf("%d files\n", files.size());
  return 0;
}
