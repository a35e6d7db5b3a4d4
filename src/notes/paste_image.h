#pragma once
// Pictures from the clipboard saved as image files: into the note's "imgs"
// folder with a link in the note, or into the listed folder as a file.
#include <optional>
#include <string>
#include <string_view>

#include "core/context.h"

namespace vm {

inline constexpr std::string_view kNoteImagesFolder = "imgs";

// The first free picture name in folder: "Image_%03d.bmp" for n = 0, 1, ...
// whose file does not exist, nor (when png) the same name with ".png".
// Empty when none is free (the folder cannot be read or is full).
std::string freeImageName(const std::string& folder, bool png);

// The link to picture name inside the "imgs" folder: linkType "Wiki"
// (ignoring case) gives "[$ imgs\NAME $]", anything else the Markdown
// "![ NAME ](imgs/NAME)".
std::string imageLink(std::string_view name, std::string_view linkType);

// A picture saved from the clipboard.
struct SavedImage {
  std::string path;  // full path of the file written; empty when none
  std::string name;  // its file name
  std::string error; // message for the status line when it failed; empty when there was no picture
};

// Saves the clipboard's picture into folder (created with its parents when
// missing) under the first free name: as PNG when png and the picture
// encodes as PNG, else as BMP. The file is written through a temporary
// file; nothing is written when the clipboard holds no picture.
SavedImage saveClipboardImage(Clipboard* clipboard, const std::string& folder, bool png);

// The picture pasted into the listed folder (the File List's Paste Image):
// its file name, or nullopt (with a status message when it failed).
std::optional<std::string> pasteImageIntoFolder(const FeatureContext& ctx, const std::string& folder);

}  // namespace vm
