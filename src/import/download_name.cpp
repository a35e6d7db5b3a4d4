#include "import/download_name.h"

#include <cctype>

#include "platform/encoding.h"
#include "platform/text.h"

namespace vm {

namespace {

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string_view s) {
  std::string o(s);
  for (char& c : o) c = lowerAscii(c);
  return o;
}

// Position of the extension's dot, or npos; a leading dot starts no extension.
std::size_t extensionDot(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return (dot == std::string_view::npos || dot == 0) ? std::string_view::npos : dot;
}

// Cuts to max bytes at a character boundary; bytes that are no UTF-8 are
// cut where they stand.
std::string cutText(const std::string& s, std::size_t max) {
  std::string c = cutUtf8(s, max);
  if (c.empty() && !s.empty()) c = s.substr(0, max);
  return c;
}

// Cuts a name to max bytes, keeping a short extension whole.
std::string cutName(const std::string& name, std::size_t max) {
  if (name.size() <= max) return name;
  const std::size_t dot = extensionDot(name);
  if (dot != std::string::npos && name.size() - dot <= 16) {
    const std::string ext = name.substr(dot);
    return cutText(name.substr(0, dot), max - ext.size()) + ext;
  }
  return cutText(name, max);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percentDecode(std::string_view s) {
  std::string o;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        o += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    o += s[i];
  }
  return o;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

std::string lastPathComponent(std::string_view s) {
  const std::size_t p = s.find_last_of("/\\");
  return std::string(p == std::string_view::npos ? s : s.substr(p + 1));
}

}  // namespace

std::string nameFromAddress(std::string_view text) {
  std::string t(text.substr(0, text.find('&')));
  replaceAll(t, "%2F", "/");
  replaceAll(t, "%2f", "/");
  std::string name = t;
  if (t.size() >= 2) {
    const std::size_t slash = t.rfind('/', t.size() - 2);
    if (slash != std::string::npos) name = t.substr(slash + 1);
  }
  replaceAll(name, "%20", " ");
  replaceAll(name, "%3A", ":");
  replaceAll(name, "%3a", ":");
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == ' ' || c == '%' || c == '/' || c == ':' || c == '?' || c == '\\' || u < 0x20 || u == 0x7f) c = '_';
  }
  // Never a hidden file, "." or "..": the name stays one visible entry of
  // the target folder.
  if (!name.empty() && name.front() == '.') name.front() = '_';
  if (name.empty()) name = "download";
  return cutName(name, kDownloadNameMax);
}

std::optional<std::string> dispositionFileName(std::string_view value) {
  std::optional<std::string> plain, extended;
  std::size_t i = 0;
  while (i < value.size()) {
    // One parameter: key=value up to the next ";" outside quotes.
    const std::size_t semi = value.find(';', i);
    const std::size_t eq = value.find('=', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      if (semi == std::string_view::npos) break;
      i = semi + 1;
      continue;
    }
    const std::string key = lowerAscii(trim(value.substr(i, eq - i)));
    std::size_t j = eq + 1;
    while (j < value.size() && (value[j] == ' ' || value[j] == '\t')) ++j;
    std::string v;
    if (j < value.size() && value[j] == '"') {
      ++j;
      while (j < value.size() && value[j] != '"') {
        if (value[j] == '\\' && j + 1 < value.size()) ++j;
        v += value[j++];
      }
      const std::size_t next = value.find(';', j);
      i = next == std::string_view::npos ? value.size() : next + 1;
    } else {
      const std::size_t next = value.find(';', j);
      v = std::string(trim(value.substr(j, next == std::string_view::npos ? std::string_view::npos : next - j)));
      i = next == std::string_view::npos ? value.size() : next + 1;
    }
    if (key == "filename" && !plain) {
      plain = v;
    } else if (key == "filename*" && !extended) {
      // charset'language'percent-encoded
      const std::size_t q1 = v.find('\'');
      const std::size_t q2 = q1 == std::string::npos ? std::string::npos : v.find('\'', q1 + 1);
      if (q2 == std::string::npos) continue;
      const std::string charset = lowerAscii(v.substr(0, q1));
      std::string decoded = percentDecode(std::string_view(v).substr(q2 + 1));
      if (charset == "iso-8859-1") {
        std::string utf8;
        for (unsigned char c : decoded) {
          if (c < 0x80) {
            utf8 += static_cast<char>(c);
          } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
          }
        }
        decoded = utf8;
      } else if (charset != "utf-8" || !isValidUtf8(decoded)) {
        continue;  // (a UTF-8 name whose escapes make no UTF-8 is not taken: the plain name is)
      }
      extended = decoded;
    }
  }
  for (const std::optional<std::string>& candidate : {extended, plain}) {
    if (!candidate) continue;
    std::string name = lastPathComponent(*candidate);
    if (!trim(name).empty()) return name;
  }
  return std::nullopt;
}

std::string correctExtension(const std::string& name, std::string_view firstBytes) {
  const std::string_view head = firstBytes.substr(0, 20);
  const std::size_t dot = extensionDot(name);
  const std::string ext = dot == std::string::npos ? std::string() : lowerAscii(std::string_view(name).substr(dot));
  const char* wanted = nullptr;
  if (head.find("PNG") != std::string_view::npos)
    wanted = ".png";
  else if (head.find("JFIF") != std::string_view::npos)
    wanted = ".jpg";
  else if (head.starts_with("BM"))
    wanted = ".bmp";
  else if (head.starts_with("GIF"))
    wanted = ".gif";
  if (!wanted || ext == wanted) return name;
  return name.substr(0, dot) + wanted;
}

std::optional<std::string> freeFileName(const std::string& name,
                                        const std::function<bool(const std::string&)>& exists) {
  if (!exists(name)) return name;
  const std::size_t dot = extensionDot(name);
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  const std::size_t underscore = base.find('_');
  const std::string stem = base.substr(0, underscore);
  constexpr long kLast = 9999;
  long first = underscore == std::string::npos ? 1 : leadingNumber(std::string_view(base).substr(underscore + 1));
  if (first <= 0 || first > kLast) first = 1;
  for (long k = 0; k < kLast; ++k) {
    const long n = (first - 1 + k) % kLast + 1;
    std::string candidate = stem + format("_%03ld", n) + ext;
    if (!exists(candidate)) return candidate;
  }
  return std::nullopt;
}

std::string addressScheme(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = address[i];
    const bool ok = std::isalpha(static_cast<unsigned char>(c)) ||
                    (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'));
    if (!ok) return {};
  }
  // "host:8080/path" names a port, not a scheme.
  std::size_t digits = colon + 1;
  while (digits < address.size() && std::isdigit(static_cast<unsigned char>(address[digits]))) ++digits;
  if (digits > colon + 1 && (digits == address.size() || address[digits] == '/')) return {};
  return lowerAscii(address.substr(0, colon));
}

}  // namespace vm
