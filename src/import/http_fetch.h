#pragma once
// The web image download: one GET of an http or https address into a
// folder, driven through the Pump so the window stays responsive while it
// waits and a quit stops it. It follows 301 and 302 (to http and https
// only), names the file from the address or from Content-Disposition,
// corrects the extension from the first bytes of the content, never
// replaces an existing file, and streams the body through a temporary file
// in the target folder that is renamed into place when the body is whole.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vm {

class Pump;

// Limits of one download. The defaults are the program's; tests shorten them.
struct FetchOptions {
  int connectTimeoutMs = 10000;
  int stallTimeoutMs = 7000;           // nothing received for this long: give up
  int totalTimeoutMs = 300000;         // the whole download, redirects included
  int maxRedirects = 10;               // 301/302 followed at most this often
  std::int64_t maxBodyBytes = 100LL * 1024 * 1024;
  std::size_t maxHeaderBytes = 64 * 1024;  // of one response's header block
  int pollMs = 50;                     // longest wait between two pump steps
  std::string caFile;                  // certificates to trust instead of the system's (tests)
};

enum class DownloadOutcome {
  Saved,        // a file was written; fileName names it
  NoFile,       // an answer without a file: a status other than 200, or no body
  Refused,      // an address or a redirect to a scheme other than http/https
  TooManyRedirects,
  TooLarge,     // the body passed maxBodyBytes; nothing kept
  Failed,       // network, TLS, time-out, a broken answer, the disk
  Cancelled,    // the program is quitting
  Busy,         // another download of this fetcher is still running
};

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::Failed;
  std::string fileName;  // the saved file's name (no folder), when Saved
  int httpStatus = 0;    // the last response's status code, 0 when none arrived
  std::string message;   // status line text for the user; empty when Saved or Cancelled
  bool saved() const { return outcome == DownloadOutcome::Saved; }
};

// The User-Agent sent with every request: "Vellumark <version> <address>".
std::string fetchUserAgent();

class HttpFetcher {
 public:
  explicit HttpFetcher(Pump* pump, FetchOptions options = {});
  HttpFetcher(const HttpFetcher&) = delete;
  HttpFetcher& operator=(const HttpFetcher&) = delete;

  // Downloads address (an http: or https: address; one without a scheme is
  // taken as http) into folder, sending referrer when it is not empty.
  // Returns when the file is saved, the download failed or the pump asked
  // to quit; the pump is stepped at least every pollMs meanwhile. A call
  // made from inside a pump step while a download runs answers Busy.
  DownloadResult download(const std::string& address, const std::string& referrer,
                          const std::filesystem::path& folder);

  bool busy() const { return busy_; }
  const FetchOptions& options() const { return options_; }

 private:
  Pump* pump_;
  FetchOptions options_;
  bool busy_ = false;
};

}  // namespace vm
