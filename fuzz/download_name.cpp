// Naming rules of downloads: whatever an address or a Content-Disposition
// header holds, the name is one safe entry of the target folder (never
// empty, ".", "..", hidden, a path or a control byte; at most the length
// limit; valid UTF-8 stays valid), naming it again changes nothing, the
// extension follows the content, and a free name is never a taken one.
#include <fuzzer/FuzzedDataProvider.h>

#include <set>
#include <string>

#include "fuzz_util.h"
#include "import/download_name.h"
#include "platform/encoding.h"
#include "platform/text.h"

using namespace vm;

namespace {

std::string show(std::string_view s) {
  std::string o;
  for (unsigned char c : s) o += (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : format("\\x%02x", c);
  return o;
}

void checkSafe(const std::string& name, std::string_view from) {
  FUZZ_CHECK(!name.empty() && name.front() != '.', "name " + show(name) + " from " + show(from));
  FUZZ_CHECK(name.size() <= kDownloadNameMax, format("%zu bytes from ", name.size()) + show(from));
  for (unsigned char c : name)
    FUZZ_CHECK(c != '/' && c != '\\' && c >= 0x20 && c != 0x7f, "byte in " + show(name) + " from " + show(from));
  if (isValidUtf8(from)) FUZZ_CHECK(isValidUtf8(name), "broken UTF-8 " + show(name) + " from " + show(from));
  FUZZ_CHECK(nameFromAddress(name) == name, "not stable: " + show(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 8192) return 0;
  FuzzedDataProvider in(data, size);
  const std::string address = in.ConsumeRandomLengthString(1024);
  const std::string header = in.ConsumeRandomLengthString(1024);
  const std::string content = in.ConsumeRandomLengthString(40);
  const std::string takenText = in.ConsumeRemainingBytesAsString();

  const std::string fromAddress = nameFromAddress(address);
  checkSafe(fromAddress, address);

  if (const std::optional<std::string> offered = dispositionFileName(header)) {
    FUZZ_CHECK(offered->find_first_of("/\\") == std::string::npos, "a path: " + show(*offered));
    checkSafe(nameFromAddress(*offered), header);
  }

  // The extension by content keeps the base name and follows the first bytes.
  const std::string corrected = correctExtension(fromAddress, content);
  const std::size_t dot = fromAddress.rfind('.');
  const std::string base = (dot == std::string::npos || dot == 0) ? fromAddress : fromAddress.substr(0, dot);
  FUZZ_CHECK(corrected.starts_with(base), show(corrected) + " lost the base of " + show(fromAddress));
  const std::string_view head = std::string_view(content).substr(0, 20);
  if (head.find("PNG") != std::string_view::npos)
    FUZZ_CHECK(endsWithNoCase(corrected, ".png"), show(corrected) + " for PNG content");
  else if (head.find("JFIF") != std::string_view::npos)
    FUZZ_CHECK(endsWithNoCase(corrected, ".jpg"), show(corrected) + " for JFIF content");
  else if (!head.starts_with("BM") && !head.starts_with("GIF"))
    FUZZ_CHECK(corrected == fromAddress, show(corrected) + " changed without a known kind");

  // A free name is never one that is taken, and is the name itself when free.
  std::set<std::string> taken;
  for (const std::string& t : split(takenText, '\n')) taken.insert(t);
  auto exists = [&](const std::string& n) { return taken.count(n) != 0; };
  const std::optional<std::string> free = freeFileName(corrected, exists);
  FUZZ_CHECK(free.has_value(), "no free name for " + show(corrected));
  FUZZ_CHECK(!taken.count(*free), "taken name " + show(*free));
  if (!taken.count(corrected)) FUZZ_CHECK(*free == corrected, "renamed a free name " + show(corrected));

  const std::string scheme = addressScheme(address);
  if (!scheme.empty()) {
    bool same = address.size() > scheme.size() && address[scheme.size()] == ':';
    for (std::size_t i = 0; same && i < scheme.size(); ++i)
      same = scheme[i] == (address[i] >= 'A' && address[i] <= 'Z' ? address[i] - 'A' + 'a' : address[i]);
    FUZZ_CHECK(same, "scheme " + show(scheme) + " of " + show(address));
  }
  return 0;
}
