#pragma once
// Rendered notes: the chain that turns a Markdown or wiki note into a whole
// HTML page (optional wiki pass, optional line-break pass, Markdown, page head
// and foot), the pages for images and web searches, style sheets, and the
// names behind "tn:" page links. Pure functions and file writes; no screen.
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Render switches.
inline constexpr unsigned kRenderMarkdown = 2;
inline constexpr unsigned kRenderWiki = 4;
inline constexpr unsigned kRenderLineBreaks = 8;
// The source is a Markdown note (not a wiki note run through Markdown): the
// wiki and line-break passes touch its prose only.
inline constexpr unsigned kRenderMarkdownNote = 16;

// What the browser viewer does with a file, by its extension (case ignored),
// tested in this order: image, wiki, Markdown, else shown directly.
enum class PageSource { Image, Wiki, Markdown, Direct };
PageSource classifyPageSource(std::string_view fileName, const std::vector<std::string>& markdownExtensions);

// ".md", ".markdown" and the extra extensions of MarkdownExtraExtensions
// (already split at commas: a missing dot is added, duplicates ignoring case
// and pieces after an empty first piece are dropped, at most 260 entries).
std::vector<std::string> markdownExtensions(const std::vector<std::string>& extra);

// Where the page is shown from and how it looks.
struct PageContext {
  std::string folder;          // the folder shown in the File List; no base line when empty
  std::string styleSheetPath;  // full path of the chosen style sheet; no link line when the file is missing
};

// "<html>\n<head>\n<title>NAME</title>\n<base ...>\n<link ...>\n</head><body>\n"
// The name is HTML-escaped; in the addresses "%", "#" and "?" are
// percent-encoded and quotes written as entities.
std::string pageHead(std::string_view sourcePath, const PageContext& context);
inline constexpr std::string_view kPageFoot = "</body></html>\n";

// Markdown-side line-break pass: every line except rule lines ("===", "---")
// and list lines ("- ", "+ ", "* ") gets a hard break ("  \n") at its end.
std::string lineBreakPass(std::string_view text);

// md4c with strikethrough and headings without a blank after "#"; raw HTML
// passes through. Lines with more than 16 container markers (">", "-",
// "1." ...) keep the first 16, and a run of thousands of lines full of links
// is cut into paragraphs, since md4c's time grows with depth times lines and
// with links times lines.
std::string markdownToHtml(std::string_view text);

// The body of a page for the given switches (neither Markdown nor Wiki set
// means Markdown).
std::string renderMarkupBody(std::string_view text, unsigned switches);

// Reads sourcePath and writes head, body and foot to pagePath. False (and
// nothing written) when the source is missing or either file cannot be opened.
bool renderMarkupFile(const std::string& sourcePath, const std::string& pagePath, unsigned switches,
                      const PageContext& context);

// A new, unique, empty page file "tn...html" in tempDir (created with mode
// 0700 when missing). When no file can be made there: "temp.html" in the
// current directory.
std::string newPagePath(const std::string& tempDir);

// Names (no folder) of the "*.css" files in the support folder, at most 20.
std::vector<std::string> listStyleSheets(const std::string& supportDir);

// The image page for an image file (quotes in the path written as entities).
struct ImagePageInput {
  std::string imagePath;
  bool useStyleSheet = false;  // ImageUseCSS on and the chosen sheet is not "markup.css"
  PageContext context;         // for the style-sheet variant
  int paneWidth = 0, paneHeight = 0;  // 0 until the pane was laid out
  int pad = 5;                 // ImageCSSPad
  int scrollBarWidth = 17;
};
std::string imagePageHtml(const ImagePageInput& in);

// "??? words" to BrowserSearchString + "words" with blanks as "+" and "+" as
// "%2B" (at most 260 characters of query); empty when no query is left.
std::string searchAddress(std::string_view text, std::string_view searchString);

// The note name of a "tn:" link: "tn:" dropped, "%20" as blanks and the
// other "%XX" escapes as their bytes (the browser writes non-ASCII names that
// way; escapes of control bytes stay as written), at most 259 bytes.
std::string linkNoteName(std::string_view url);
// A name safe for a new file: "%", ":", "?", "[", "]" and backslash as "_"
// (and "/" too, which would name a folder here).
std::string cleanNoteName(std::string_view name);

}  // namespace vm
