#include "platform/http.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace hs::platform {

// Keeps a running download's multi handle where HttpCancel can wake it.
class HttpWaitRegistration {
 public:
  HttpWaitRegistration(HttpCancel* cancel, CURLM* multi) : cancel_(cancel), multi_(multi) {
    if (!cancel_) return;
    std::lock_guard g(cancel_->lock_);
    cancel_->waiting_.push_back(multi_);
  }
  ~HttpWaitRegistration() {
    if (!cancel_) return;
    std::lock_guard g(cancel_->lock_);
    auto& w = cancel_->waiting_;
    w.erase(std::remove(w.begin(), w.end(), static_cast<void*>(multi_)), w.end());
  }
  HttpWaitRegistration(const HttpWaitRegistration&) = delete;
  HttpWaitRegistration& operator=(const HttpWaitRegistration&) = delete;

 private:
  HttpCancel* cancel_;
  CURLM* multi_;
};

void HttpCancel::Cancel() {
  cancelled_.store(true);
  std::lock_guard g(lock_);
  // A wake-up is kept until the download's next wait, so none is lost
  // between its check of the flag and its wait.
  for (void* multi : waiting_) curl_multi_wakeup(static_cast<CURLM*>(multi));
}

namespace {

constexpr int kPollIntervalMs = 100;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view WithoutFinalDot(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  return host;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The host part of a URL as libcurl will read it; empty when the URL does not parse.
std::string UrlHost(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), curl_url_cleanup);
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  char* host = nullptr;
  if (curl_url_get(u.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || !host) return {};
  std::string out = host;
  curl_free(host);
  return out;
}

struct Transfer {
  CURL* easy = nullptr;
  size_t capacity = 0;
  std::string body;
  bool headersChecked = false;
  bool cut = false;
  std::string refusal;  // set when the headers make the answer unusable
};

// Status and Content-Length, checked once the headers are in.
void CheckHeaders(Transfer& t) {
  t.headersChecked = true;
  long status = 0;
  curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) {
    t.refusal = "HTTP status " + std::to_string(status);
    return;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) t.refusal = "the answer has no Content-Length";
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  const size_t n = size * count;
  const size_t refuse = n == 0 ? 1 : 0;  // any value other than n ends the transfer
  if (!t.headersChecked) CheckHeaders(t);
  if (!t.refusal.empty()) return refuse;
  const size_t take = std::min(n, t.capacity - t.body.size());
  t.body.append(data, take);
  if (take < n) {
    // Everything past the capacity would be dropped anyway: stop reading
    // rather than let a flooding server hold the line.
    t.cut = true;
    return refuse;
  }
  return n;
}

}  // namespace

bool HttpPrepare() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

bool IsLoopbackHost(std::string_view host) {
  std::string h = Lower(WithoutFinalDot(host));
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  if (h == "localhost" || EndsWith(h, ".localhost")) return true;
  in_addr v4{};
  if (h.find(':') == std::string::npos && inet_aton(h.c_str(), &v4) == 1)
    return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool IsInvalidHost(std::string_view host) {
  const std::string h = Lower(WithoutFinalDot(host));
  return h == "invalid" || EndsWith(h, ".invalid");
}

HttpAnswer HttpFetch(const std::string& url, size_t capacity, const std::string& userAgent,
                     const HttpFetchOptions& options) {
  HttpAnswer answer;
  if (!HttpPrepare()) {
    answer.result = kHttpServiceFailed;
    answer.error = "cannot initialise libcurl";
    return answer;
  }
  const std::string host = UrlHost(url);
  if (host.empty()) {
    answer.error = "not a URL: " + url.substr(0, 200);
    return answer;
  }
  if (IsInvalidHost(host)) {
    answer.error = host + ": names under .invalid do not exist";
    return answer;
  }
  if (options.cancel && options.cancel->Cancelled()) {
    answer.cancelled = true;
    answer.error = "cancelled";
    return answer;
  }

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
  std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), curl_multi_cleanup);
  if (!easy || !multi) {
    answer.result = kHttpServiceFailed;
    answer.error = "cannot create a libcurl handle";
    return answer;
  }
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
  headers.reset(curl_slist_append(headers.release(), "Cache-Control: no-cache"));
  headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));

  Transfer t;
  t.easy = easy.get();
  t.capacity = capacity;
  char errorText[CURL_ERROR_SIZE] = {};
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);  // no signals in a threaded program
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeoutMs));
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.transferTimeoutMs));
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
  if (!options.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
  // A proxy is for reaching other machines; the companion server on this
  // one must not depend on a proxy that happens to be set.
  if (IsLoopbackHost(host)) curl_easy_setopt(e, CURLOPT_PROXY, "");

  if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) {
    answer.result = kHttpServiceFailed;
    answer.error = "cannot start the download";
    return answer;
  }
  CURLcode code = CURLE_OK;
  {
    HttpWaitRegistration registration(options.cancel, multi.get());
    int running = 1;
    for (;;) {
      if ((options.cancel && options.cancel->Cancelled()) || (options.stillWanted && !options.stillWanted())) {
        answer.cancelled = true;
        break;
      }
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
        break;
      }
      if (running == 0) break;
      curl_multi_poll(multi.get(), nullptr, 0, kPollIntervalMs, nullptr);
    }
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi.get(), &left))
      if (m->msg == CURLMSG_DONE) code = m->data.result;
  }
  curl_multi_remove_handle(multi.get(), e);

  if (answer.cancelled) {
    answer.error = "cancelled";
    return answer;
  }
  if (code == CURLE_OK && !t.headersChecked) CheckHeaders(t);  // an empty body
  if (!t.refusal.empty()) {
    answer.error = t.refusal;
    return answer;
  }
  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && t.cut)) {
    answer.error = errorText[0] ? errorText : curl_easy_strerror(code);
    return answer;
  }
  answer.result = kHttpOk;
  answer.body = std::move(t.body);
  answer.cut = t.cut;
  return answer;
}

}  // namespace hs::platform
