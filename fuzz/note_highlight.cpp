// The note editor's highlighter, fed a whole note line by line as the
// editor does: any bytes highlight, spans lie inside their line in order
// and apart, states stay known, and highlighting a line again from the same
// state gives the same spans.
#include <string>
#include <string_view>

#include "fuzz_util.h"
#include "notes/highlight.h"
#include "platform/text.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (NoteSyntax syntax : {NoteSyntax::Markdown, NoteSyntax::Wiki}) {
    int state = kLineNormal;
    std::size_t at = 0;
    while (at <= text.size()) {
      std::size_t end = text.find('\n', at);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(at, end - at);
      const LineHighlight h = highlightLine(line, state, syntax);
      std::size_t last = 0;
      for (const HighlightSpan& s : h.spans) {
        FUZZ_CHECK(s.length > 0 && s.start >= last && s.start + s.length <= line.size(),
                   format("span %zu+%zu after %zu in a line of %zu", s.start, s.length, last, line.size()));
        last = s.start + s.length;
      }
      FUZZ_CHECK(h.state >= kLineNormal && h.state <= kLineInWikiBlock, format("state %d", h.state));
      FUZZ_CHECK(highlightLine(line, state, syntax).spans == h.spans, "not the same spans twice");
      state = h.state;
      at = end + 1;
    }
  }
  return 0;
}
