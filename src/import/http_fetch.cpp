#include "import/http_fetch.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "import/download_name.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/ports.h"
#include "platform/text.h"
#include "platform/version.h"

namespace vm {

namespace {

constexpr const char* kProductWebAddress = kHomepage;
constexpr const char* kTempPrefix = ".vm-download-";

using SteadyClock = std::chrono::steady_clock;

// libcurl and the two dozen libraries it pulls in (TLS, Kerberos, LDAP, ...)
// are loaded with the first download, not with the program: most sessions
// never download, and the dynamic loader's work on them was a visible part of
// start-up. The declarations of <curl/curl.h> give the types; the calls go
// through these pointers only (the program is not linked against libcurl).
struct CurlApi {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_strerror) easy_strerror;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_multi_info_read) multi_info_read;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_url) url;
  decltype(&curl_url_set) url_set;
  decltype(&curl_url_get) url_get;
  decltype(&curl_url_cleanup) url_cleanup;
  decltype(&curl_free) free;
};

// The loaded library, or null when no libcurl 4 can be loaded (then every
// download fails with a message saying so). Loaded and initialised once.
const CurlApi* curlApi() {
  static const CurlApi* api = []() -> const CurlApi* {
    void* lib = nullptr;
    for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4", "libcurl-nss.so.4"})
      if ((lib = ::dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    if (!lib) return nullptr;
    static CurlApi a;
    bool all = true;
    auto get = [&](auto& fn, const char* symbol) {
      void* p = ::dlsym(lib, symbol);
      all = all && p;
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
    };
    get(a.global_init, "curl_global_init");
    get(a.easy_init, "curl_easy_init");
    get(a.easy_setopt, "curl_easy_setopt");
    get(a.easy_cleanup, "curl_easy_cleanup");
    get(a.easy_strerror, "curl_easy_strerror");
    get(a.multi_init, "curl_multi_init");
    get(a.multi_add_handle, "curl_multi_add_handle");
    get(a.multi_remove_handle, "curl_multi_remove_handle");
    get(a.multi_perform, "curl_multi_perform");
    get(a.multi_poll, "curl_multi_poll");
    get(a.multi_info_read, "curl_multi_info_read");
    get(a.multi_cleanup, "curl_multi_cleanup");
    get(a.slist_append, "curl_slist_append");
    get(a.slist_free_all, "curl_slist_free_all");
    get(a.url, "curl_url");
    get(a.url_set, "curl_url_set");
    get(a.url_get, "curl_url_get");
    get(a.url_cleanup, "curl_url_cleanup");
    get(a.free, "curl_free");
    if (!all || a.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;  // (the library stays loaded)
    return &a;
  }();
  return api;
}

std::string cutMessage(const std::string& s) { return cutUtf8(s, limits::kStatusMessage); }

// The temporary file a 200 body streams into, in the target folder. It is
// removed unless keep() hands it over to its final name.
class BodyFile {
 public:
  explicit BodyFile(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~BodyFile() { discard(); }
  bool open() {
    std::string tmpl = (folder_ / (std::string(kTempPrefix) + "XXXXXX")).string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back(0);
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
      error_ = errno;
      return false;
    }
    path_ = name.data();
    ::fchmod(fd_, 0644);
    return true;
  }
  bool isOpen() const { return fd_ >= 0; }
  bool write(const char* p, std::size_t n) {
    while (n > 0) {
      const ssize_t w = ::write(fd_, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return false;
      }
      p += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  }
  // Flushes and closes the file, then gives it a free name in the folder
  // without ever replacing a file: the rename refuses a taken name, and the
  // next free one is tried. The name given, or nullopt.
  std::optional<std::string> keep(const std::string& wanted) {
    if (::fdatasync(fd_) != 0 || ::close(fd_) != 0) {
      error_ = errno;
      fd_ = -1;
      return std::nullopt;
    }
    fd_ = -1;
    auto exists = [&](const std::string& n) { return pathExists(folder_ / n); };
    for (int attempt = 0; attempt < 50; ++attempt) {
      const std::optional<std::string> name = freeFileName(wanted, exists);
      if (!name) {
        error_ = EEXIST;
        return std::nullopt;
      }
      const std::string target = (folder_ / *name).string();
      if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        path_.clear();
        return name;
      }
      if (errno == EEXIST) continue;  // taken in the meantime: the next free name
      if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        error_ = errno;
        return std::nullopt;
      }
      // A file system without the no-replace rename: a hard link refuses a
      // taken name as well.
      if (::link(path_.c_str(), target.c_str()) == 0) {
        ::unlink(path_.c_str());
        path_.clear();
        return name;
      }
      if (errno == EEXIST) continue;
      error_ = errno;
      return std::nullopt;
    }
    error_ = EEXIST;
    return std::nullopt;
  }
  void discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
  }
  int error() const { return error_; }

 private:
  std::filesystem::path folder_;
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
};

// One request and its response, the body streamed to a BodyFile.
struct Transfer {
  const FetchOptions* options = nullptr;
  BodyFile* body = nullptr;
  // The response being read (a new status line starts a new one).
  int status = 0;
  std::size_t headerBytes = 0;
  std::optional<std::string> disposition;
  std::string location;
  std::int64_t contentLength = -1;
  std::int64_t bodyBytes = 0;
  std::string head;  // first bytes of the body, for the extension
  // Why the transfer was stopped from a callback.
  bool headersTooLarge = false;
  bool tooLarge = false;
  bool writeFailed = false;
  bool bodySkipped = false;  // the answer's body was not wanted: not a failure
  SteadyClock::time_point lastProgress = SteadyClock::now();

  static std::size_t onHeader(char* p, std::size_t size, std::size_t n, void* self) {
    return static_cast<Transfer*>(self)->header(std::string_view(p, size * n));
  }
  static std::size_t onBody(char* p, std::size_t size, std::size_t n, void* self) {
    return static_cast<Transfer*>(self)->data(p, size * n);
  }

  std::size_t header(std::string_view line) {
    lastProgress = SteadyClock::now();
    if (startsWithNoCase(line, "HTTP/")) {
      // A new response (after a 100 Continue, say): its own headers.
      status = 0;
      headerBytes = 0;
      disposition.reset();
      location.clear();
      contentLength = -1;
      const std::size_t blank = line.find(' ');
      if (blank != std::string_view::npos) status = static_cast<int>(leadingNumber(line.substr(blank + 1)));
    }
    headerBytes += line.size();
    if (headerBytes > options->maxHeaderBytes) {
      headersTooLarge = true;
      return 0;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return line.size();
    const std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.remove_suffix(1);
    if (equalsNoCase(key, "Content-Disposition")) {
      disposition = std::string(value);
    } else if (equalsNoCase(key, "Location")) {
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
      location = std::string(value);
    } else if (equalsNoCase(key, "Content-Length")) {
      char* end = nullptr;
      const std::string v(value);
      const long long len = std::strtoll(v.c_str(), &end, 10);
      if (end != v.c_str() && len >= 0) contentLength = len;
      if (status == 200 && contentLength > options->maxBodyBytes) {
        tooLarge = true;
        return 0;
      }
    }
    return line.size();
  }

  std::size_t data(const char* p, std::size_t n) {
    lastProgress = SteadyClock::now();
    if (status != 200) {
      // A redirect's or an error's page is never kept: stop reading it, so
      // an endless one costs nothing.
      bodySkipped = true;
      return 0;
    }
    if (bodyBytes + static_cast<std::int64_t>(n) > options->maxBodyBytes) {
      tooLarge = true;
      return 0;
    }
    if (!body->isOpen() && !body->open()) {
      writeFailed = true;
      return 0;
    }
    if (!body->write(p, n)) {
      writeFailed = true;
      return 0;
    }
    if (head.size() < 20) head.append(p, std::min<std::size_t>(n, 20 - head.size()));
    bodyBytes += static_cast<std::int64_t>(n);
    return n;
  }
};

// A Location value read against the address that answered it; empty when
// it makes no address.
std::string resolveLocation(const CurlApi& c, const std::string& base, const std::string& location) {
  if (location.empty()) return {};
  std::string out;
  CURLU* u = c.url();
  if (!u) return {};
  char* full = nullptr;
  if (c.url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      c.url_set(u, CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      c.url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK && full)
    out = full;
  c.free(full);
  c.url_cleanup(u);
  return out;
}

// Undoes escapeAddress: the name of a file keeps the letters its address
// was written with ("%C3%A9" reads as "\xC3\xA9"); "%20" stays for the name
// rule, which makes it a blank.
std::string unescapeAddress(const std::string& s) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      const int v = hex(s[i + 1]) * 16 + hex(s[i + 2]);
      if (v >= 0x7f) {
        out += static_cast<char>(v);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// The request path with its query, as the name source of a download.
std::string requestPath(const CurlApi& c, const std::string& url) {
  std::string out = "/";
  CURLU* u = c.url();
  if (u && c.url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* path = nullptr;
    char* query = nullptr;
    if (c.url_get(u, CURLUPART_PATH, &path, 0) == CURLUE_OK && path) out = path;
    if (c.url_get(u, CURLUPART_QUERY, &query, 0) == CURLUE_OK && query) out += std::string("?") + query;
    c.free(path);
    c.free(query);
  }
  c.url_cleanup(u);
  return out;
}

// Blanks, control bytes and bytes above ASCII percent-encoded, as a
// browser sends an address typed or dropped with them.
std::string escapeAddress(const std::string& url) {
  std::string out;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7f)
      out += format("%%%02X", c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

struct Slist {
  const CurlApi& c;
  curl_slist* list = nullptr;
  ~Slist() { c.slist_free_all(list); }
  void add(const char* s) {
    if (curl_slist* longer = c.slist_append(list, s)) list = longer;
  }
};

}  // namespace

std::string fetchUserAgent() { return std::string("Vellumark ") + kVersion + " " + kProductWebAddress; }

HttpFetcher::HttpFetcher(Pump* pump, FetchOptions options) : pump_(pump), options_(std::move(options)) {}

DownloadResult HttpFetcher::download(const std::string& address, const std::string& referrer,
                                     const std::filesystem::path& folder) {
  DownloadResult r;
  if (busy_) {
    r.outcome = DownloadOutcome::Busy;
    r.message = "A download is still running";
    return r;
  }
  busy_ = true;
  struct Release {
    bool& flag;
    ~Release() { flag = false; }
  } release{busy_};

  const CurlApi* api = curlApi();
  if (!api) {
    r.message = "Download failed: the libcurl library (libcurl4) is not installed";
    return r;
  }
  const CurlApi& c = *api;

  const SteadyClock::time_point started = SteadyClock::now();
  const SteadyClock::time_point deadline = started + std::chrono::milliseconds(options_.totalTimeoutMs);
  std::string url = address;
  while (!url.empty() && (url.back() == ' ' || url.back() == '\r' || url.back() == '\n')) url.pop_back();
  while (!url.empty() && url.front() == ' ') url.erase(url.begin());
  if (url.starts_with("//")) url = "https:" + url;
  url = escapeAddress(url);
  std::string ref = referrer;
  bool progressShown = false;
  auto hideProgress = [&] {
    if (progressShown && pump_) pump_->progress(-1);
  };

  for (int hop = 0;; ++hop) {
    std::string scheme = addressScheme(url);
    if (scheme.empty()) {
      url = "http://" + url;
      scheme = "http";
    }
    if (scheme != "http" && scheme != "https") {
      r.outcome = DownloadOutcome::Refused;
      r.message = cutMessage("Download refused: " + scheme + " addresses are not fetched");
      return r;
    }
    if (hop > options_.maxRedirects) {
      r.outcome = DownloadOutcome::TooManyRedirects;
      r.message = format("Download failed: more than %d redirects", options_.maxRedirects);
      return r;
    }

    BodyFile body(folder);
    Transfer t;
    t.options = &options_;
    t.body = &body;
    char errorText[CURL_ERROR_SIZE] = {0};
    CURL* e = c.easy_init();
    if (!e) {
      r.message = "Download failed: out of memory";
      return r;
    }
    Slist headers{c};
    headers.add("Accept:");  // only what the program's request names
    c.easy_setopt(e, CURLOPT_URL, url.c_str());
    c.easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    c.easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    c.easy_setopt(e, CURLOPT_HTTPHEADER, headers.list);
    c.easy_setopt(e, CURLOPT_USERAGENT, fetchUserAgent().c_str());
    if (!ref.empty()) c.easy_setopt(e, CURLOPT_REFERER, ref.c_str());
    c.easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    c.easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    c.easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeoutMs));
    c.easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    c.easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options_.caFile.empty()) c.easy_setopt(e, CURLOPT_CAINFO, options_.caFile.c_str());
    c.easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    c.easy_setopt(e, CURLOPT_HEADERDATA, &t);
    c.easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    c.easy_setopt(e, CURLOPT_WRITEDATA, &t);
    c.easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);

    CURLM* m = c.multi_init();
    c.multi_add_handle(m, e);
    enum class Stop { None, Quit, Stall, Total } stop = Stop::None;
    t.lastProgress = SteadyClock::now();
    int running = 1;
    while (true) {
      c.multi_perform(m, &running);
      if (running == 0) break;
      if (pump_ && pump_->step()) {
        stop = Stop::Quit;
        break;
      }
      const SteadyClock::time_point now = SteadyClock::now();
      if (now - t.lastProgress > std::chrono::milliseconds(options_.stallTimeoutMs)) {
        stop = Stop::Stall;
        break;
      }
      if (now > deadline) {
        stop = Stop::Total;
        break;
      }
      if (pump_ && t.contentLength > 0 && t.status == 200 && now - started > std::chrono::milliseconds(500)) {
        pump_->progress(static_cast<int>(t.bodyBytes * 100 / t.contentLength));
        progressShown = true;
      }
      c.multi_poll(m, nullptr, 0, options_.pollMs, nullptr);
    }
    CURLcode code = CURLE_OK;
    int left = 0;
    while (CURLMsg* msg = c.multi_info_read(m, &left))
      if (msg->msg == CURLMSG_DONE) code = msg->data.result;
    c.multi_remove_handle(m, e);
    c.easy_cleanup(e);
    c.multi_cleanup(m);
    r.httpStatus = t.status;
    if (code == CURLE_WRITE_ERROR && t.bodySkipped) code = CURLE_OK;

    if (stop != Stop::None || code != CURLE_OK) {
      body.discard();
      hideProgress();
      if (stop == Stop::Quit) {
        r.outcome = DownloadOutcome::Cancelled;
      } else if (stop == Stop::Stall) {
        r.message = format("Download failed: no answer for %d seconds", (options_.stallTimeoutMs + 999) / 1000);
      } else if (stop == Stop::Total) {
        r.message = format("Download failed: not done after %d seconds", (options_.totalTimeoutMs + 999) / 1000);
      } else if (t.tooLarge) {
        r.outcome = DownloadOutcome::TooLarge;
        r.message = format("Download stopped: larger than %lld MB",
                           static_cast<long long>(options_.maxBodyBytes / (1024 * 1024)));
      } else if (t.headersTooLarge || (code == CURLE_OUT_OF_MEMORY && t.bodyBytes == 0)) {
        // (libcurl itself refuses a header line longer than 100 KB as out of memory.)
        r.message = "Download failed: the server's headers are too long";
      } else if (t.writeFailed) {
        r.message = cutMessage("Download failed: " + systemErrorText(body.error()));
      } else {
        r.message = cutMessage(std::string("Download failed: ") + (errorText[0] ? errorText : c.easy_strerror(code)));
      }
      return r;
    }

    if (t.status == 301 || t.status == 302) {
      body.discard();
      const std::string location = resolveLocation(c, url, t.location);
      if (location.empty()) {
        r.outcome = DownloadOutcome::NoFile;
        r.message = format("Download failed: redirect %d without a location", t.status);
        return r;
      }
      url = location;
      ref.clear();  // a followed redirect sends no referrer
      continue;
    }
    hideProgress();
    if (t.status != 200 || t.bodyBytes == 0) {
      r.outcome = DownloadOutcome::NoFile;
      r.message = t.status == 200 ? "Download failed: empty answer"
                                  : format("Download failed: the server answered %d", t.status);
      return r;
    }
    std::optional<std::string> offered;
    if (t.disposition) offered = dispositionFileName(*t.disposition);
    const std::string name = correctExtension(nameFromAddress(offered ? *offered : unescapeAddress(requestPath(c, url))), t.head);
    const std::optional<std::string> saved = body.keep(name);
    if (!saved) {
      r.message = cutMessage("Download failed: " + systemErrorText(body.error()));
      return r;
    }
    r.outcome = DownloadOutcome::Saved;
    r.fileName = *saved;
    return r;
  }
}

}  // namespace vm
