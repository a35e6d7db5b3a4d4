#pragma once
// Files, pictures, web images, HTML and text dragged onto the program. The
// shell reads what a drag offers into a DropData; DropImport turns it into
// files in the current folder (a drop on the File List) or into the open
// note and the "imgs" folder beside it (a drop on the note editor).
//
// Of what a drag offers, the first of these wins: a picture, files, HTML,
// text. Nothing already on disk is ever replaced: a name that is taken gets
// a number, or (for dropped files) the file is left out with a message.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "import/http_fetch.h"

namespace vm {


// The kinds of content a drag can offer, in the order a drop prefers them.
enum class DropFormat { Image, Files, Html, Text };

struct DropData {
  // The dragged picture encoded as "png" or "bmp"; an empty result when it
  // cannot be. Unset when the drag offers no picture.
  std::function<std::string(std::string_view format)> image{};
  std::vector<std::string> files;  // local paths (from file:// URLs)
  std::string html;                // UTF-8
  std::string text;                // UTF-8
  // The kinds in the order the drag offered them: a dropped picture is named
  // after the last file list or text among them.
  std::vector<DropFormat> offered;

  bool hasImage() const { return static_cast<bool>(image); }
  bool acceptable() const { return hasImage() || !files.empty() || !html.empty() || !text.empty(); }
};

// ---- Text rules ------------------------------------------------------------

// Decodes "&name;" entities: at each "&" whose next ";" (or the end of the
// text) is less than 10 characters away, the characters from "&" up to there
// become one character and the text goes on after the ";". "&quot" "&amp"
// "&lt" "&gt" give their characters, "&nbsp" a blank, the Latin-1 names
// "&iexcl" to "&yuml" their letters, "&#N" and "&#xN" the character N (34 or
// more); any other name, and a smaller or unreadable number, a blank.
std::string decodeHtmlEntities(std::string_view text);

// Strips tags: a text holding "<" loses everything before the first "<" and
// every "<...>"; a text without "<" stays whole.
std::string stripHtmlTags(std::string_view text);

// The address of the picture when the HTML is an image tag ("<img" first,
// after blanks, <meta> tags and comments): the text between the two double
// quotes after the first "src". nullopt for other HTML or no address.
std::optional<std::string> htmlImageAddress(std::string_view html);

// A picture written into a "data:image/TYPE;base64," address: its bytes
// and the extension for TYPE (".png", ".jpg" for jpeg, ".svg" for svg+xml).
// nullopt for other addresses and for data that does not decode.
struct DataPicture {
  std::string bytes;
  std::string extension;
};
std::optional<DataPicture> dataAddressPicture(std::string_view address);

// The name a dropped picture is saved under (with ".bmp"; the caller may
// change it to ".png"): the base name, without folder and extension, of the
// last file path or text the drag offered, entities decoded, "%20" read as a
// blank and each of % : ? [ ] \ and control characters made "_". Empty when
// the drag carries no usable name.
std::string droppedPictureName(const DropData& data);

// ---- The drop --------------------------------------------------------------

struct DropHooks {
  // A file arrived in the current folder: the File List lists it again
  // with name selected.
  std::function<void(const std::string& name)> relist{};
  // Opens the File List's file name as a click on it would (the current
  // place is left first).
  std::function<void(const std::string& name)> open{};
};

// The open note as a drop sees it.
struct NoteDropTarget {
  std::function<bool()> loaded{};
  std::function<bool()> editable{};  // false (with a message) when the note takes no typing
  std::function<void(const std::string& imageName)> insertImageLink{};  // imgs/<name> at the caret
  std::function<void(const std::string& text)> dropText{};
};

class DropImport {
 public:
  DropImport(FeatureContext ctx, HttpFetcher& fetcher, NoteDropTarget note, DropHooks hooks);

  // A drop on the File List: files, pictures and web images land in the
  // current folder; text becomes a new note there.
  void dropOnFileList(const DropData& data);
  // A drop on the note editor: files land in the current folder as on the
  // File List; pictures and web images go into "imgs" with a link at the
  // caret; text replaces the selection.
  void dropOnNote(const DropData& data);

 private:
  enum class Target { Folder, Note };
  void drop(const DropData& data, Target target);
  bool dropImage(const DropData& data, Target target);
  void dropFiles(const std::vector<std::string>& files);
  void dropHtml(const DropData& data, Target target);
  void dropText(const std::string& text, Target target);
  void downloadImage(const std::string& address, Target target);
  void dataPicture(const std::string& address, Target target);
  // The folder pictures go to; empty (with a message) when it cannot be made.
  std::string pictureFolder(Target target);
  // Links a picture saved in imgs into the open note, after its date prefix.
  void linkPicture(const std::string& folder, const std::string& name);
  void arrived(const std::string& name, bool open);

  FeatureContext ctx_;
  HttpFetcher& fetcher_;
  NoteDropTarget note_;
  DropHooks hooks_;
};

// Writes bytes as a new file in folder under name, or under the first free
// numbered name after it when name is taken; never replaces a file. The
// name written, or nullopt with the reason in *error.
std::optional<std::string> writeNewFile(const std::string& folder, const std::string& name, std::string_view bytes,
                                        std::string* error = nullptr);

}  // namespace vm
