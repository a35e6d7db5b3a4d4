#include "notes/paste_image.h"

#include <system_error>

#include "platform/fs.h"
#include "platform/text.h"

namespace vm {

namespace {

// Far beyond any folder a person fills by pasting; only ends the search in
// a folder that answers "exists" for everything.
constexpr int kMaxImageNumber = 1'000'000;

std::string replaceExtension(const std::string& name, std::string_view ext) {
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + std::string(ext);
}

}  // namespace

std::string freeImageName(const std::string& folder, bool png) {
  for (int n = 0; n < kMaxImageNumber; ++n) {
    const std::string name = format("Image_%03d.bmp", n);
    if (pathExists(joinPath(folder, name))) continue;
    if (png && pathExists(joinPath(folder, replaceExtension(name, ".png")))) continue;
    return name;
  }
  return {};
}

std::string imageLink(std::string_view name, std::string_view linkType) {
  const std::string n(name);
  const std::string imgs(kNoteImagesFolder);
  if (equalsNoCase(linkType, "Wiki")) return format("[$ %s\\%s $]", imgs.c_str(), n.c_str());
  return format("![ %s ](%s/%s)", n.c_str(), imgs.c_str(), n.c_str());
}

SavedImage saveClipboardImage(Clipboard* clipboard, const std::string& folder, bool png) {
  SavedImage out;
  if (!clipboard || !clipboard->hasImage()) return out;
  std::string bytes = png ? clipboard->image("png") : std::string();
  const bool asPng = !bytes.empty();
  if (!asPng) bytes = clipboard->image("bmp");
  if (bytes.empty()) return out;

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!isDirectory(folder)) {
    out.error = format("Cannot create the folder %s", folder.c_str());
    return out;
  }
  std::string name = freeImageName(folder, png);
  if (name.empty()) {
    out.error = "Error creating bitmap";
    return out;
  }
  if (asPng) name = replaceExtension(name, ".png");
  const std::string path = joinPath(folder, name);
  if (!writeFileAtomic(path, bytes)) {
    out.error = "Error creating bitmap";
    return out;
  }
  out.path = path;
  out.name = name;
  return out;
}

std::optional<std::string> pasteImageIntoFolder(const FeatureContext& ctx, const std::string& folder) {
  if (folder.empty()) return std::nullopt;
  SavedImage saved = saveClipboardImage(ctx.ports.clipboard, folder, ctx.settings.flag(setting::ImageSaveAsPng));
  if (saved.path.empty()) {
    if (!saved.error.empty()) ctx.say(saved.error);
    return std::nullopt;
  }
  return saved.name;
}

}  // namespace vm
