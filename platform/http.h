// HTTP downloads for the location servers and the update check, on libcurl.
//
// Every request goes to the server (no cache), needs a Content-Length in the
// answer and keeps at most `capacity` bytes of the body. Proxies come from the
// usual environment variables (http_proxy, https_proxy, all_proxy, no_proxy),
// except that addresses on this machine are always asked directly. Names
// under ".invalid" are refused without asking any resolver: they can never
// exist, and asking would send a query off this machine.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hs::platform {

// The time-outs of every HTTP request of the program. A dead or stalled
// server costs at most one of them; the trace waits for it, so they are short.
inline constexpr uint32_t kHttpConnectTimeoutMs = 3000;
inline constexpr uint32_t kHttpTransferTimeoutMs = 6000;

enum HttpResult : int {
  kHttpOk = 0,
  kHttpServiceFailed = 1,  // the HTTP library could not be set up
  kHttpAddressFailed = 2,  // no connection, no answer, not 2xx, no Content-Length, time-out, cancelled
};

// Ends downloads early from another thread (shutdown). Downloads that run
// while Cancel() is called return at once; later ones do not start.
class HttpCancel {
 public:
  HttpCancel() = default;
  HttpCancel(const HttpCancel&) = delete;
  HttpCancel& operator=(const HttpCancel&) = delete;

  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

 private:
  friend class HttpWaitRegistration;
  std::mutex lock_;
  std::vector<void*> waiting_;  // multi handles of the downloads now running
  std::atomic<bool> cancelled_{false};
};

struct HttpFetchOptions {
  uint32_t connectTimeoutMs = kHttpConnectTimeoutMs;
  uint32_t transferTimeoutMs = kHttpTransferTimeoutMs;
  HttpCancel* cancel = nullptr;
  // Trust only the certificates in this file (a server with a private CA);
  // empty: the system's store.
  std::string caFile;
  // Asked every 100 ms while the download runs; false ends it (a stopped trace).
  std::function<bool()> stillWanted;
};

struct HttpAnswer {
  int result = kHttpAddressFailed;
  std::string body;      // at most `capacity` bytes
  bool cut = false;      // the body was longer than the capacity
  bool cancelled = false;  // ended by HttpCancel or stillWanted, not by the server
  std::string error;     // why it failed, for diagnostics
};

// Sets up the HTTP library (once per process; later calls return at once).
// HttpFetch does it itself; callers that time their downloads call it first
// so that the set-up is not counted. False when it failed.
bool HttpPrepare();

// GET `url` with the user agent.
HttpAnswer HttpFetch(const std::string& url, size_t capacity, const std::string& userAgent,
                     const HttpFetchOptions& options = {});

// The signature of HttpFetch, for code that lets tests replace it.
using HttpGetter = std::function<HttpAnswer(const std::string& url, size_t capacity,
                                            const std::string& userAgent, const HttpFetchOptions& options)>;

// True for "localhost", names ending in ".localhost", 127.0.0.0/8 and ::1.
bool IsLoopbackHost(std::string_view host);
// True for "invalid" and names ending in ".invalid" (with or without a final dot).
bool IsInvalidHost(std::string_view host);

}  // namespace hs::platform
