// The wiki converter: any bytes convert, the page grows at most linearly with
// the note, converting is pure (the same text gives the same page) and a
// note with no markup at all comes back escaped line for line. For a
// Markdown note's lines, the shortcut for lines no step reacts to writes what
// the full conversion writes and counts the same work, and so do page links
// that count the bytes they change instead of scanning them.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_util.h"
#include "platform/text.h"
#include "render/wiki.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t bound = 64 * size + 4096;
  for (bool marks : {true, false}) {
    WikiOptions options;
    options.markLineEnds = marks;
    const std::string page = wikiToHtml(text, options);
    FUZZ_CHECK(page.size() <= bound, format("%zu bytes of page for %zu bytes of note", page.size(), size));
    FUZZ_CHECK(wikiToHtml(text, options) == page, "not the same page twice");
    FUZZ_CHECK(page.find('\r') == std::string::npos || text.find('\r') != std::string::npos, "CR made up");
    // Page links counting their own bytes: the same page and work as scans.
    for (bool note : {false, true}) {
      std::size_t counted = 0, scanned = 0;
      options.markdownNote = note;
      options.work = &counted;
      const std::string a = wikiToHtml(text, options);
      options.countEdits = false;
      options.work = &scanned;
      const std::string b = wikiToHtml(text, options);
      options.countEdits = true;
      options.work = nullptr;
      FUZZ_CHECK(a == b, "counting a page link's bytes changed the page");
      FUZZ_CHECK(counted == scanned, "counting a page link's bytes changed the work");
    }
  }
  for (bool marks : {true, false}) {
    WikiOptions options;
    options.markLineEnds = marks;
    options.markdownNote = true;
    std::size_t fullWork = 0, shortWork = 0;
    std::string full, shortcut;
    {
      options.work = &fullWork;
      WikiConverter a(options, text);
      options.work = &shortWork;
      WikiConverter b(options, text);
      for (std::size_t i = 0; i < text.size();) {
        const std::size_t lf = text.find('\n', i);
        const std::string_view line = text.substr(i, lf == std::string_view::npos ? lf : lf + 1 - i);
        const std::size_t used = a.line(text.substr(i), full);
        const std::size_t usedShort = b.passesUnchanged(line) ? b.unchanged(line, shortcut) : b.line(text.substr(i), shortcut);
        FUZZ_CHECK(used == usedShort, format("%zu bytes used, %zu by the shortcut", used, usedShort));
        i += used;
      }
    }
    FUZZ_CHECK(full == shortcut, "the shortcut changed the page");
    FUZZ_CHECK(fullWork == shortWork, "the shortcut changed the work");
  }
  return 0;
}
