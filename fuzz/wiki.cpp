// The wiki converter: any bytes convert, the page grows at most linearly with
// the note, converting is pure (the same text gives the same page) and a
// note with no markup at all comes back escaped line for line.
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
  }
  return 0;
}
