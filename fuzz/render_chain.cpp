// The whole render chain under every switch combination (Markdown notes too): any bytes render,
// the page body grows at most linearly with the note (the line-break pass
// adds at most three bytes a byte, the wiki pass at most 32 KB a line) and rendering is pure.
// A Markdown note's passes give the same text and count the same wiki work
// with their shortcuts as without, and the page is the same whether md4c's
// preparation ran or was found needless.
#include <algorithm>
#include <string>

#include "fuzz_util.h"
#include "platform/text.h"
#include "render/markdown_note.h"
#include "render/markup.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The wiki pass lets one line grow by at most 32 KB (nested links): a
  // short note can take that once per line.
  const std::size_t lines = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  const std::size_t bound = 64 * size + 4096 + 32 * 1024 * lines;
  // Bit 8: a Markdown note, whose passes touch its prose only.
  for (unsigned sw = 0; sw < 16; ++sw) {
    const unsigned switches = ((sw & 1) ? kRenderMarkdown : 0) | ((sw & 2) ? kRenderWiki : 0) |
                              ((sw & 4) ? kRenderLineBreaks : 0) | ((sw & 8) ? kRenderMarkdownNote : 0);
    const std::string body = renderMarkupBody(text, switches);
    FUZZ_CHECK(body.size() <= bound, format("switches %u: %zu bytes of page for %zu bytes", switches,
                                            body.size(), size));
    if (sw == 0) FUZZ_CHECK(renderMarkupBody(text, switches) == body, "not the same page twice");
    // A Markdown note's prepared text skips md4c's preparation when it is
    // said ready: the page must be the one the preparation gives.
    if ((sw & 1) && (sw & 8) && (sw & 6)) {
      const std::string prepared = prepareMarkdownNote(text, {.wiki = (sw & 2) != 0, .lineBreaks = (sw & 4) != 0});
      FUZZ_CHECK(markdownToHtml(prepared) == body, format("switches %u: md4c's preparation skipped wrongly", switches));
    }
  }
  for (bool wiki : {false, true}) {
    for (bool lineBreaks : {false, true}) {
      std::size_t fastWork = 0, fullWork = 0;
      const std::string fast =
          prepareMarkdownNote(text, {.wiki = wiki, .lineBreaks = lineBreaks, .work = &fastWork, .fastPaths = true});
      const std::string full =
          prepareMarkdownNote(text, {.wiki = wiki, .lineBreaks = lineBreaks, .work = &fullWork, .fastPaths = false});
      FUZZ_CHECK(fast == full, format("wiki %d breaks %d: the shortcuts changed the note", wiki, lineBreaks));
      FUZZ_CHECK(fastWork == fullWork, format("wiki %d breaks %d: the shortcuts changed the work", wiki, lineBreaks));
    }
  }
  const std::string breaks = lineBreakPass(text);
  FUZZ_CHECK(breaks.size() <= 3 * size + 16, format("line-break pass: %zu bytes for %zu", breaks.size(), size));
  FUZZ_CHECK(markdownToHtml(text).size() <= bound, "Markdown page too long");
  return 0;
}
