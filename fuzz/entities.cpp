// Entities in the page head: whatever bytes a note's path and folder hold,
// the title is one text node and the base address one attribute value, and
// reading the entities (and the percent escapes of the address) back gives
// the name and the folder exactly.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_util.h"
#include "platform/text.h"
#include "render/markup.h"

using namespace vm;

namespace {

// What a browser reads in a text or attribute made of these entities; any
// other "&" is a fault of the writer.
std::string decodeEntities(std::string_view s, bool& stray) {
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    bool known = false;
    for (const auto& [name, c] : kEntities) {
      if (s.substr(i, name.size()) == name) {
        out += c;
        i += name.size() - 1;
        known = true;
        break;
      }
    }
    if (!known) {
      stray = true;
      out += '&';
    }
  }
  return out;
}

std::string decodePercent(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::string_view three = s.substr(i, 3);
    if (three == "%25") out += '%';
    else if (three == "%23") out += '#';
    else if (three == "%3F") out += '?';
    else {
      out += s[i];
      continue;
    }
    i += 2;
  }
  return out;
}

std::size_t count(std::string_view s, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t p = s.find(what); p != std::string_view::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 8192) return 0;
  FuzzedDataProvider in(data, size);
  const std::string folder = in.ConsumeRandomLengthString(512);
  const std::string source = in.ConsumeRemainingBytesAsString();
  PageContext context;
  context.folder = folder;
  const std::string head = pageHead(source, context);

  constexpr std::string_view kOpen = "<html>\n<head>\n<title>";
  FUZZ_CHECK(head.starts_with(kOpen), head.substr(0, 80));
  const std::size_t titleEnd = head.find("</title>\n");
  FUZZ_CHECK(titleEnd != std::string::npos && count(head, "</title>") == 1, "title not closed once");
  const std::string_view title = std::string_view(head).substr(kOpen.size(), titleEnd - kOpen.size());
  FUZZ_CHECK(title.find('<') == std::string_view::npos, "a tag in the title");
  bool stray = false;
  const std::string name = decodeEntities(title, stray);
  FUZZ_CHECK(!stray, "a bare & in the title");
  // A path ending in "/" names a folder: its title is the last part that is not empty.
  std::string_view path = source;
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  FUZZ_CHECK(path.ends_with(name), "the title is not the end of the path: " + name);
  FUZZ_CHECK(name.find('/') == std::string::npos, "the title holds a folder: " + name);

  const std::size_t base = head.find("<base href=\"file://", titleEnd);
  FUZZ_CHECK((base != std::string::npos) == !folder.empty(), "base line present without a folder or missing");
  if (base != std::string::npos) {
    const std::size_t start = base + std::string_view("<base href=\"file://").size();
    const std::size_t end = head.find('"', start);
    FUZZ_CHECK(end != std::string::npos && head.compare(end, 3, "\">\n") == 0 && head[end - 1] == '\\',
               "the address does not end where it should");
    const std::string_view value = std::string_view(head).substr(start, end - 1 - start);
    for (char c : {'<', '>', '\''})
      FUZZ_CHECK(value.find(c) == std::string_view::npos, format("raw %c in the attribute", c));
    // "#" and "?" would cut the address short: only their escapes may be there.
    const std::string address = decodeEntities(value, stray);
    for (char c : {'#', '?'})
      FUZZ_CHECK(address.find(c) == std::string::npos, format("raw %c in the address", c));
    const std::string back = decodePercent(address);
    FUZZ_CHECK(!stray, "a bare & in the address");
    FUZZ_CHECK(back == folder, "the address reads back as " + back);
  }
  FUZZ_CHECK(head.ends_with("</head><body>\n"), "the head does not end the head");
  return 0;
}
