#pragma once
// Naming rules of downloaded files: the name taken from an address or from
// a Content-Disposition header, the extension corrected from the first bytes
// of the content, and the numbered free name that keeps an existing file.
// Pure functions: nothing here touches the disk but through `exists`.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// Longest name a download gets, in bytes: room below the file system's
// 255 for the "_NNN" of a free numbered name.
inline constexpr std::size_t kDownloadNameMax = 240;

// The file name for an address or a path: the text is cut at its first
// "&", "%2F" reads as "/", the name is what follows the last "/" that is not
// the final character; "%20" becomes a blank and "%3A" a colon, then every
// blank, "%", "/", ":", "?" and backslash becomes "_". The result is always
// one safe name inside a folder: never empty, "." or "..", no leading dot,
// no control byte, at most kDownloadNameMax bytes (the extension kept).
std::string nameFromAddress(std::string_view text);

// The file name a Content-Disposition header value offers: filename*=
// (RFC 5987, UTF-8 or ISO-8859-1, percent-encoded) before filename= (quoted
// with backslash escapes, or a bare token). Only the last component of a
// path survives ("../../evil" gives "evil", "C:\\x\\y.png" gives "y.png").
// nullopt when the value names no file.
std::optional<std::string> dispositionFileName(std::string_view headerValue);

// The extension of name by its content: the first 20 bytes holding "PNG"
// give ".png", else "JFIF" ".jpg", else a start of "BM" ".bmp", else "GIF"
// ".gif"; a name that already has that extension (any case) or content of
// none of these kinds keeps its name.
std::string correctExtension(const std::string& name, std::string_view firstBytes);

// A name in the folder that is not taken: name itself when free, else the
// base name up to its first "_" followed by "_%03d" and the extension, the
// number starting at the one after that "_" (1 when missing or 0) and going
// on to 9999. nullopt when every one of them is taken.
std::optional<std::string> freeFileName(const std::string& name,
                                        const std::function<bool(const std::string&)>& exists);

// "http", "https", "file", ... of an address in lower case; empty when the
// address has no scheme ("host:8080/x" has none: that is a port).
std::string addressScheme(std::string_view address);

}  // namespace vm
