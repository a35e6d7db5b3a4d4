#include "core/configure.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/ini_file.h"
#include "core/settings_store.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

namespace fs = std::filesystem;

const SettingDef* const kPerpetual[3] = {&setting::PerpetualNote1, &setting::PerpetualNote2,
                                         &setting::PerpetualNote3};

// Number fields and the largest value each accepts.
struct NumberField {
  const SettingDef* def;
  long max;
  bool mayBeEmpty;
  const char* text;
};
const NumberField kNumbers[] = {
    {&setting::AutoSave, 1440, false,
     "\"Autosave every\" needs a whole number of minutes from 0 to 1440 (0 turns autosave off)."},
    {&setting::NoteFontSize, 400, true, "\"Font size\" needs a whole number from 1 to 400, or nothing."},
};

bool allDigits(std::string_view s) {
  return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int pageOf(const SettingDef& d) {
  for (int p = 0; p < static_cast<int>(kConfigurePages.size()); ++p)
    if (d.page == kConfigurePages[static_cast<std::size_t>(p)]) return p;
  return -1;
}

// "root" begins "text" at a folder boundary ("/a" begins "/a/b", not "/ab").
bool beginsFolder(std::string_view text, std::string root) {
  root = withoutTrailingSlash(std::move(root));
  if (root.empty() || root == "/") return text.starts_with('/');
  return startsWithNoCase(text, root) && (text.size() == root.size() || text[root.size()] == '/');
}

bool lessNoCase(const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; }


// Replaces the entry lines of section BasicRoots with rows, in their order,
// where the first stretch of the section stood. Comment and blank lines of
// the section stay in place, as does every line outside it; line ends are
// kept. A missing section is added at the end of the file.
bool writeRootsSection(const std::filesystem::path& file, const std::vector<RootRow>& rows) {
  auto data = readWholeFile(file);
  if (!data) return false;
  const bool crlf = data->find("\r\n") != std::string::npos;
  const std::string eol = crlf ? "\r\n" : "\n";
  std::string block;
  for (const auto& r : rows) block += r.path + "=" + r.alias + (r.extension.empty() ? "" : ";" + r.extension) + eol;
  std::string out;
  bool inRoots = false, placed = false;
  std::string pending;  // blank and comment lines after the last entry of the first stretch
  auto flushFirstStretch = [&] {
    if (inRoots && !placed) {
      out += block;
      placed = true;
    }
    out += pending;
    pending.clear();
  };
  std::size_t pos = 0;
  while (pos < data->size()) {
    std::size_t end = data->find('\n', pos);
    end = end == std::string::npos ? data->size() : end + 1;
    const std::string_view line(data->data() + pos, end - pos);
    pos = end;
    const std::string_view text = ini::trimBlanks(line.substr(0, line.find('\n')));
    if (auto name = ini::headerName(text)) {
      flushFirstStretch();
      inRoots = equalsNoCase(*name, kBasicRootsSection);
      out += line;
      continue;
    }
    if (!inRoots) {
      out += line;
    } else if (text.empty() || text.front() == ';') {
      (placed ? out : pending) += line;
    } else if (!placed) {
      out += pending;  // comments between entries keep their place before the new rows
      pending.clear();
    }
  }
  if (!placed && !out.empty() && out.back() != '\n') out += eol;
  flushFirstStretch();
  if (!placed) out += (out.empty() ? "" : eol) + "[" + std::string(kBasicRootsSection) + "]" + eol + block;
  return writeFileAtomic(file, out);
}

}  // namespace

PickerListing listPickerFolder(const std::string& folder, bool belowRoot) {
  PickerListing out;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code dec;
    (it->is_directory(dec) ? out.folders : out.files).push_back(std::move(name));
  }
  std::sort(out.folders.begin(), out.folders.end(), lessNoCase);
  std::sort(out.files.begin(), out.files.end(), lessNoCase);
  if (belowRoot) out.folders.insert(out.folders.begin(), std::string(kUpFolder));
  return out;
}

ConfigureSession::ConfigureSession(SettingsStore& store, PathEnv env, std::vector<RootLocation> rootTable)
    : store_(store), env_(std::move(env)), rootTable_(std::move(rootTable)) {}

std::vector<const SettingDef*> ConfigureSession::pageKeys(int page) {
  std::vector<const SettingDef*> out;
  if (page < 0 || page >= static_cast<int>(kConfigurePages.size())) return out;
  for (const SettingDef* d : catalogue())
    if (pageOf(*d) == page) out.push_back(d);
  return out;
}

bool ConfigureSession::isFlag(const SettingDef& d) {
  return d.reading == Reading::FlagNo || d.reading == Reading::FlagYes;
}

ConfigureSession::Pending& ConfigureSession::pending(const SettingDef& d) {
  for (auto& p : pending_)
    if (p.def == &d) return p;
  Pending p{&d, {}, {}, false};
  std::string raw = store_.getText(d.key, "");
  p.absent = raw.empty();
  if (isFlag(d))
    p.shown = (p.absent ? configureDefault(d) == "1" : readFlagValue(raw)) ? "1" : "0";
  else
    p.shown = p.absent ? std::string(configureDefault(d)) : raw;
  p.value = p.shown;
  pending_.push_back(std::move(p));
  return pending_.back();
}

std::string ConfigureSession::text(const SettingDef& d) { return pending(d).value; }

void ConfigureSession::setText(const SettingDef& d, std::string_view value) {
  pending(d).value = cutUtf8(std::string(value), limits::kText);
}

bool ConfigureSession::flag(const SettingDef& d) { return pending(d).value == "1"; }

void ConfigureSession::setFlag(const SettingDef& d, bool on) { pending(d).value = on ? "1" : "0"; }

// ---------------------------------------------------------------- roots page

const std::vector<RootRow>& ConfigureSession::roots() {
  if (!rootsRead_) {
    rootsRead_ = true;
    for (const auto& [key, alias] : store_.sectionEntries(kBasicRootsSection))
      storedRoots_.push_back({key, alias, store_.getSectionComment(kBasicRootsSection, key)});
    roots_ = storedRoots_;
  }
  return roots_;
}

namespace {

std::optional<ConfigureMessage> checkRow(const RootRow& row) {
  const int page = 3;
  if (row.path.empty() || row.alias.empty() || row.extension.empty())
    return ConfigureMessage{"Required", "Please fill in all the fields", page};
  if (!ini::writableKey(row.path) || ini::trimBlanks(row.path) != row.path)
    return ConfigureMessage{"Error", "This path cannot be kept in the settings file: it may not begin with ';' or '[', "
                                     "hold '=' or begin or end with a blank",
                            page};
  for (const std::string* s : {&row.alias, &row.extension})
    if (s->find(';') != std::string::npos || s->find('\n') != std::string::npos)
      return ConfigureMessage{"Error", "The alias and the extension cannot hold ';'", page};
  return std::nullopt;
}

}  // namespace

std::optional<ConfigureMessage> ConfigureSession::addRoot(RootRow row) {
  roots();
  for (const auto& r : roots_)
    if (equalsNoCase(r.path, row.path)) return ConfigureMessage{"Error", "This directory is already in the list", 3};
  if (auto m = checkRow(row)) return m;
  if (roots_.size() >= limits::kSectionNames) return ConfigureMessage{"Error", "Hit maximum number of roots", 3};
  if (!row.extension.starts_with('.')) row.extension.insert(0, ".");
  roots_.push_back(std::move(row));
  return std::nullopt;
}

std::optional<ConfigureMessage> ConfigureSession::editRoot(int index, RootRow row) {
  roots();
  if (index < 0 || index >= static_cast<int>(roots_.size())) return std::nullopt;
  if (auto m = checkRow(row)) return m;
  roots_[static_cast<std::size_t>(index)] = std::move(row);
  return std::nullopt;
}

void ConfigureSession::removeRoot(int index) {
  roots();
  if (index >= 0 && index < static_cast<int>(roots_.size())) roots_.erase(roots_.begin() + index);
}

std::optional<ConfigureMessage> ConfigureSession::contractForRemote(std::string& path) const {
  if (startsWithNoCase(path, kVarAppSrcDrv)) return std::nullopt;
  if (!beginsFolder(path, env_.appSrcDrv))
    return ConfigureMessage{"Sorry", "Must be on same drive as the program to use this feature", 3};
  contractPathForRemote(path, env_);
  return std::nullopt;
}

// ---------------------------------------------------------------- Perpetual notes

std::string ConfigureSession::perpetualText(int n) {
  if (n < 0 || n > 2) return {};
  auto fields = splitPerpetualNote(pending(*kPerpetual[n]).value);
  if (!fields) return {};
  std::string out = (*fields)[1];
  for (int i : {2, 3})
    if (!(*fields)[static_cast<std::size_t>(i)].empty()) out = joinPath(out, (*fields)[static_cast<std::size_t>(i)]);
  return out;
}

bool ConfigureSession::splitPerpetual(std::string_view text, std::string& out) const {
  const auto last = text.rfind('/');
  if (last == std::string_view::npos || last == 0) return false;
  const auto secondLast = text.rfind('/', last - 1);
  if (secondLast == std::string_view::npos) return false;
  std::string root;
  // The roots page's folders first (a root added in this session counts), then the window's roots.
  for (const auto& r : roots_) {
    if (beginsFolder(text, r.path) || beginsFolder(text, expand(r.path))) {
      root = r.path;
      break;
    }
  }
  for (std::size_t i = 0; root.empty() && i < rootTable_.size(); ++i) {
    const auto& r = rootTable_[i];
    if (!r.configuredRoot.empty() && (beginsFolder(text, r.configuredRoot) || beginsFolder(text, r.rootFolder)))
      root = r.configuredRoot;
  }
  if (root.empty()) return false;
  std::string path(text.substr(0, secondLast));
  if (path.empty()) path = "/";
  out = root + "|" + path + "|" + std::string(text.substr(secondLast + 1, last - secondLast - 1)) + "|" +
        std::string(text.substr(last + 1));
  return out.size() <= limits::kText;
}

void ConfigureSession::setPerpetualText(int n, std::string_view text) {
  if (n < 0 || n > 2) return;
  roots();
  std::string value;
  if (splitPerpetual(text, value)) pending(*kPerpetual[n]).value = value;
}

std::vector<std::string> ConfigureSession::pickerRoots() {
  std::vector<std::string> out;
  for (const auto& r : roots()) out.push_back(r.path);
  for (const auto& r : rootTable_) {
    if (r.configuredRoot.empty()) continue;
    bool known = false;
    for (const auto& o : out) known = known || equalsNoCase(o, r.configuredRoot) || equalsNoCase(expand(o), r.rootFolder);
    if (!known) out.push_back(r.configuredRoot);
  }
  return out;
}

std::string ConfigureSession::expand(const std::string& configured) const {
  std::string p = configured;
  expandPathVariables(p, env_);
  return p;
}

std::string ConfigureSession::pickedPath(const std::string& chosenRoot, const std::string& fullPath) const {
  std::string p = fullPath;
  if (startsWithNoCase(chosenRoot, kVarAppSrcDrv)) contractPathForRemote(p, env_);
  return p;
}

// ---------------------------------------------------------------- OK

std::optional<ConfigureMessage> ConfigureSession::validate() {
  for (const auto& n : kNumbers) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.def == n.def; });
    if (it == pending_.end() || it->value == it->shown) continue;
    std::string v(ini::trimBlanks(it->value));
    if (v.empty() && n.mayBeEmpty) continue;
    if (!allDigits(v) || std::stol(v) > n.max || (n.mayBeEmpty && std::stol(v) == 0))
      return ConfigureMessage{"Error", n.text, pageOf(*n.def)};
  }
  for (const auto& p : pending_) {
    if (p.value == p.shown) continue;
    if (p.value.find(';') != std::string::npos || p.value.find('\n') != std::string::npos)
      return ConfigureMessage{"Error",
                              "\"" + std::string(p.def->control) +
                                  "\" cannot hold ';': the settings file would read the rest as a comment",
                              pageOf(*p.def)};
  }
  return std::nullopt;
}

std::vector<std::string> ConfigureSession::changedKeys() const {
  std::vector<std::string> out;
  for (const auto& p : pending_) {
    // The font size field is written only when it holds something.
    if (p.def == &setting::NoteFontSize && ini::trimBlanks(p.value).empty()) continue;
    if (p.value != p.shown || (isFlag(*p.def) && p.absent)) out.emplace_back(p.def->key);
  }
  if (rootsRead_ && roots_ != storedRoots_) out.emplace_back(kBasicRootsSection);
  return out;
}

bool ConfigureSession::commit() {
  const std::string file = store_.iniPath().string();
  if (file.empty()) return false;
  const auto keys = changedKeys();
  const auto cache = store_.snapshot();
  bool ok = true;
  for (const auto& p : pending_) {
    if (std::find(keys.begin(), keys.end(), p.def->key) == keys.end()) continue;
    // A key is rewritten where it stands (its first section in the file), keeping its comment.
    SettingEntry e{std::string(p.def->key), std::string(ini::trimBlanks(p.value)), std::string(kGeneralSection), {}, file};
    for (const auto& c : cache) {
      if (equalsNoCase(c.key, e.key)) {
        e.section = c.section;
        e.comment = c.comment;
        break;
      }
    }
    store_.writeEntry(e);
    ok = ok && !store_.lastWriteFailed();
  }
  if (rootsRead_ && roots_ != storedRoots_) ok = writeRootsSection(file, roots_) && ok;
  return ok;
}

}  // namespace vm
