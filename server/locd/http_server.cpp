#include "server/locd/http_server.h"

#include <sys/resource.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <map>
#include <optional>
#include <unordered_set>
#include <utility>  // before Asio: Boost 1.74's awaitable.hpp uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "server/wire/locwire.h"

namespace hs::locd {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;
using Parser = http::request_parser<http::string_body>;

namespace {

void Configure(Parser& parser) {
  parser.header_limit(kMaxRequestHead);
  parser.body_limit(kMaxRequestBody);
}

Response Answer(unsigned version, bool keepAlive, int status, std::string body, bool head = false) {
  Response res{static_cast<http::status>(status), version};
  res.set(http::field::content_type, "text/plain");
  res.body() = std::move(body);
  res.prepare_payload();  // Content-Length, on every answer
  if (head) res.body().clear();  // the length stays that of the body not sent
  res.keep_alive(keepAlive);
  return res;
}

Response Respond(const Request& req, const RequestHandler& handler, std::string_view remote) {
  bool head = req.method() == http::verb::head;
  if (req.method() != http::verb::get && !head) {
    Response res = Answer(req.version(), req.keep_alive(), 405, "method not allowed: use GET\n");
    res.set(http::field::allow, "GET, HEAD");
    return res;
  }
  std::string_view target(req.target().data(), req.target().size());
  size_t q = target.find('?');
  Reply reply = handler(target.substr(0, q), q == std::string_view::npos ? std::string_view() : target.substr(q + 1),
                        remote);
  return Answer(req.version(), req.keep_alive(), reply.status, std::move(reply.body), head);
}

// The answer to a request that could not be read; none when the client just
// went away or took too long (it would not read one).
std::optional<Response> AnswerToReadError(const beast::error_code& ec) {
  if (ec.category() != http::make_error_code(http::error::bad_method).category() || ec == http::error::end_of_stream ||
      ec == http::error::partial_message)
    return std::nullopt;
  if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
    return Answer(11, false, 431, "request head too long\n");
  if (ec == http::error::body_limit) return Answer(11, false, 413, "request body too long\n");
  if (ec == http::error::bad_version) return Answer(11, false, 505, "only HTTP/1.0 and HTTP/1.1 are served\n");
  return Answer(11, false, 400, "malformed request\n");
}

std::string Serialize(Response& res) {
  std::string out;
  http::serializer<false, http::string_body> sr{res};
  beast::error_code ec;
  do {
    sr.next(ec, [&](beast::error_code&, const auto& buffers) {
      size_t n = 0;
      for (auto b : beast::buffers_range_ref(buffers)) {
        out.append(static_cast<const char*>(b.data()), b.size());
        n += b.size();
      }
      sr.consume(n);
    });
  } while (!ec && !sr.is_done());
  return out;
}

// "2025-12-06T10:00:00Z 127.0.0.1 "GET /wiz.asp HTTP/1.1" 200 1234"; the
// request line is cut and made printable, so a client cannot forge lines.
void LogRequest(FILE* log, std::string_view remote, const Request* req, int status, size_t bodyBytes) {
  char when[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
  std::string line = when;
  line += ' ';
  line += remote;
  line += " \"";
  if (req) {
    std::string_view method(req->method_string().data(), req->method_string().size());
    std::string_view target(req->target().data(), req->target().size());
    size_t start = line.size();
    line += method.substr(0, 32);
    line += ' ';
    line += target.substr(0, 1024);
    for (size_t i = start; i < line.size(); ++i)
      if (static_cast<unsigned char>(line[i]) < 0x20 || static_cast<unsigned char>(line[i]) >= 0x7f || line[i] == '"')
        line[i] = '?';
    line += " HTTP/";
    locwire::AppendDecimal(line, req->version() / 10);
    line += '.';
    locwire::AppendDecimal(line, req->version() % 10);
  } else {
    line += '-';
  }
  line += "\" ";
  locwire::AppendDecimal(line, status);
  line += ' ';
  locwire::AppendDecimal(line, static_cast<int64_t>(bodyBytes));
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), log);
}

std::string ListenError(const beast::error_code& ec) {
  if (ec == asio::error::address_in_use) return "address in use (another server listens on this port)";
  if (ec == asio::error::access_denied) return "permission denied (ports below 1024 need privileges)";
  if (ec.value() == EADDRNOTAVAIL && ec.category() == asio::error::get_system_category())
    return "address not available (not an address of this machine)";
  std::string m = ec.message();
  if (!m.empty()) m[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(m[0])));
  return m;
}

bool OutOfDescriptors(const beast::error_code& ec) {
  if (ec.category() != asio::error::get_system_category()) return false;
  int v = ec.value();
  return v == EMFILE || v == ENFILE || v == ENOBUFS || v == ENOMEM;
}

// Descriptors kept free for the log, the data files and the event loop.
constexpr size_t kReservedDescriptors = 32;

}  // namespace

size_t RaiseDescriptorLimit() {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return 1024;
  if (r.rlim_cur < r.rlim_max) {
    rlimit raised = r;
    raised.rlim_cur = r.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) r = raised;
  }
  return r.rlim_cur == RLIM_INFINITY ? size_t(1) << 20 : static_cast<size_t>(r.rlim_cur);
}

std::string AnswerBytes(std::string_view bytes, const RequestHandler& handler, std::string_view remote) {
  std::string out;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    Parser parser;
    Configure(parser);
    parser.eager(true);
    beast::error_code ec;
    // The connection ends after the bytes given: a request still incomplete
    // then is cut short.
    auto endOfInput = [&] {
      ec = {};
      parser.put_eof(ec);
      if (!ec && !parser.is_done()) ec = http::error::partial_message;
    };
    while (true) {
      if (rest.empty()) {
        endOfInput();
        break;
      }
      // Eager: goes as far as these bytes allow. "Need more" means the rest
      // of a request would have had to come later, which it cannot here (and
      // the parser must not see the same bytes again as if they were more).
      size_t used = parser.put(asio::buffer(rest.data(), rest.size()), ec);
      rest.remove_prefix(used);
      if (ec == http::error::need_more || (!ec && !parser.is_done() && used == 0)) {
        endOfInput();
        break;
      }
      if (ec || parser.is_done()) break;
    }
    if (ec) {
      if (auto res = AnswerToReadError(ec)) out += Serialize(*res);
      break;
    }
    Response res = Respond(parser.get(), handler, remote);
    out += Serialize(res);
    if (!res.keep_alive()) break;
  }
  return out;
}

// ------------------------------------------------------------------ server

class Connection;

class HttpServer::Impl {
 public:
  Impl(const HttpOptions& options, RequestHandler handler)
      : options_(options),
        handler_(std::move(handler)),
        acceptor_(ioc_),
        signals_(ioc_, SIGINT, SIGTERM),
        flushTimer_(ioc_),
        pauseTimer_(ioc_),
        stopTimer_(ioc_),
        pool_(options.workers < 1 ? 1 : options.workers) {}

  bool Listen(std::string* error);
  void Run();
  void Stop() {
    asio::post(ioc_, [this] { BeginStop(); });
  }

  // I/O thread only, from here on.
  void Release(Connection* c, const asio::ip::address& peer);
  void Log(std::string_view remote, const Request* req, int status, size_t bodyBytes) {
    LogRequest(options_.log, remote, req, status, bodyBytes);
  }

  const HttpOptions options_;
  const RequestHandler handler_;
  size_t maxConnections_ = 0;
  bool stopping_ = false;

  // Destroyed after the event loop, whose queued handlers may still hold
  // connections that unregister here.
  std::map<asio::ip::address, size_t> perAddress_;
  std::unordered_set<Connection*> connections_;
  size_t refused_ = 0;

  asio::io_context ioc_{1};
  tcp::acceptor acceptor_;
  asio::signal_set signals_;
  asio::steady_timer flushTimer_;
  asio::steady_timer pauseTimer_;
  asio::steady_timer stopTimer_;
  asio::thread_pool pool_;  // joined before the event loop goes

 private:
  void Accept();
  void Admit(tcp::socket socket);
  void Flush();
  void ReportRefused();
  void BeginStop();
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(HttpServer::Impl& server, tcp::socket socket, asio::ip::address peer)
      : server_(server), stream_(std::move(socket)), peer_(peer), peerText_(peer.to_string()) {}
  ~Connection() { server_.Release(this, peer_); }

  void Start() {
    beast::error_code ec;
    stream_.socket().set_option(tcp::no_delay(true), ec);
    AwaitRequest();
  }

  // The server stops: a connection waiting for a request goes now, one with
  // an answer under way once it is written.
  void Shutdown() {
    if (state_ == State::Reading) Close();
    else closeAfterWrite_ = true;
  }

  void Close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream_.close();
  }

 private:
  enum class State { Reading, Handling, Writing };

  void AwaitRequest() {
    state_ = State::Reading;
    parser_.emplace();
    Configure(*parser_);
    if (fresh_ || buffer_.size() > 0) return ReadRequest();  // pipelined bytes wait in the buffer
    // Kept alive: wait for the first byte of the next request, then give the
    // rest the head's time.
    stream_.expires_after(server_.options_.limits.idleTimeout);
    stream_.async_read_some(buffer_.prepare(512), [self = shared_from_this()](beast::error_code ec, size_t n) {
      if (ec) return self->Close();
      self->buffer_.commit(n);
      self->ReadRequest();
    });
  }

  void ReadRequest() {
    stream_.expires_after(server_.options_.limits.headerTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
  }

  void OnRead(const beast::error_code& ec) {
    if (ec) {
      if (auto res = AnswerToReadError(ec); res && !server_.stopping_) return Send(std::move(*res), nullptr);
      return Close();
    }
    fresh_ = false;
    state_ = State::Handling;
    stream_.expires_never();  // the lookup's time is not the client's
    auto request = std::make_shared<Request>(parser_->release());
    auto io = server_.ioc_.get_executor();
    asio::post(server_.pool_, [self = shared_from_this(), request, io, work = asio::make_work_guard(server_.ioc_)]() mutable {
      Response res = Respond(*request, self->server_.handler_, self->peerText_);
      asio::post(io, [self = std::move(self), request = std::move(request), res = std::move(res)]() mutable {
        self->Send(std::move(res), request.get());
      });
    });
  }

  void Send(Response res, const Request* req) {
    state_ = State::Writing;
    if (server_.stopping_ || closeAfterWrite_) res.keep_alive(false);
    server_.Log(peerText_, req, res.result_int(), res.body().size());
    response_ = std::move(res);
    stream_.expires_after(server_.options_.limits.writeTimeout);
    http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec || !self->response_.keep_alive() || self->closeAfterWrite_ || self->server_.stopping_)
        return self->Close();
      self->AwaitRequest();
    });
  }

  HttpServer::Impl& server_;
  beast::tcp_stream stream_;
  const asio::ip::address peer_;
  const std::string peerText_;
  beast::flat_buffer buffer_{kMaxRequestHead + kMaxRequestBody};
  std::optional<Parser> parser_;
  Response response_;
  State state_ = State::Reading;
  bool fresh_ = true;  // no request yet: the head's time runs from the accept
  bool closeAfterWrite_ = false;
};

bool HttpServer::Impl::Listen(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  beast::error_code ec;
  std::string service;
  locwire::AppendDecimal(service, options_.port);
  tcp::resolver resolver(ioc_);
  auto found = resolver.resolve(options_.host, service, tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec || found.empty()) return fail("unknown address " + options_.host);
  tcp::endpoint at = found.begin()->endpoint();
  acceptor_.open(at.protocol(), ec);
  if (ec) return fail(ListenError(ec));
  // Lets a restarted server take its port while old connections linger; on
  // Linux it never lets two servers listen on one port (SO_REUSEPORT would).
  acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  acceptor_.bind(at, ec);
  if (ec) return fail(ListenError(ec));
  acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) return fail(ListenError(ec));

  rlimit r{};
  size_t descriptors = getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur != RLIM_INFINITY ? r.rlim_cur : 1 << 20;
  size_t room = descriptors > 2 * kReservedDescriptors ? descriptors - kReservedDescriptors : kReservedDescriptors;
  maxConnections_ = std::min(options_.limits.maxConnections, room);
  return true;
}

void HttpServer::Impl::Run() {
  signals_.async_wait([this](beast::error_code ec, int) {
    if (!ec) BeginStop();
  });
  Accept();
  Flush();
  ioc_.run();
  pool_.join();
  ReportRefused();
  std::fflush(options_.log);
}

void HttpServer::Impl::ReportRefused() {
  if (refused_ == 0) return;
  std::fprintf(options_.log, "hopsight-locd: refused %zu connections over the limits (%zu per address, %zu in all)\n",
               refused_, options_.limits.maxPerAddress, maxConnections_);
  refused_ = 0;
}

void HttpServer::Impl::Accept() {
  acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (stopping_ || ec == asio::error::operation_aborted) return;
    if (OutOfDescriptors(ec)) {
      // Accepting again at once would spin; connections that end free some.
      pauseTimer_.expires_after(std::chrono::milliseconds(100));
      pauseTimer_.async_wait([this](beast::error_code e) {
        if (!e && !stopping_) Accept();
      });
      return;
    }
    if (!ec) Admit(std::move(socket));
    Accept();
  });
}

void HttpServer::Impl::Admit(tcp::socket socket) {
  beast::error_code ec;
  asio::ip::address peer = socket.remote_endpoint(ec).address();
  if (ec) return;
  size_t& fromPeer = perAddress_[peer];
  if (connections_.size() >= maxConnections_ || fromPeer >= options_.limits.maxPerAddress) {
    if (fromPeer == 0) perAddress_.erase(peer);
    ++refused_;
    return;  // the socket closes as it goes
  }
  ++fromPeer;
  auto c = std::make_shared<Connection>(*this, std::move(socket), peer);
  connections_.insert(c.get());
  c->Start();
}

void HttpServer::Impl::Release(Connection* c, const asio::ip::address& peer) {
  connections_.erase(c);
  auto it = perAddress_.find(peer);
  if (it != perAddress_.end() && --it->second == 0) perAddress_.erase(it);
  if (stopping_ && connections_.empty()) stopTimer_.cancel();
}

// Once a second: the log reaches its file, and refused connections are
// counted in one line instead of one each, which a flood would fill the log with.
void HttpServer::Impl::Flush() {
  ReportRefused();
  std::fflush(options_.log);
  if (stopping_) return;
  flushTimer_.expires_after(std::chrono::seconds(1));
  flushTimer_.async_wait([this](beast::error_code ec) {
    if (!ec) Flush();
  });
}

void HttpServer::Impl::BeginStop() {
  if (stopping_) return;
  stopping_ = true;
  beast::error_code ec;
  acceptor_.close(ec);
  signals_.cancel(ec);
  pauseTimer_.cancel();
  flushTimer_.cancel();
  for (Connection* c : connections_) c->Shutdown();
  if (connections_.empty()) return;
  // Answers under way get a moment to go out; then everything closes.
  stopTimer_.expires_after(std::chrono::seconds(2));
  stopTimer_.async_wait([this](beast::error_code e) {
    if (e) return;
    for (Connection* c : connections_) c->Close();
  });
}

HttpServer::HttpServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HttpServer::~HttpServer() = default;

std::unique_ptr<HttpServer> HttpServer::Listen(const HttpOptions& options, RequestHandler handler,
                                               std::string* error) {
  auto impl = std::make_unique<Impl>(options, std::move(handler));
  if (!impl->Listen(error)) return nullptr;
  return std::unique_ptr<HttpServer>(new HttpServer(std::move(impl)));
}

uint16_t HttpServer::port() const {
  beast::error_code ec;
  return impl_->acceptor_.local_endpoint(ec).port();
}

size_t HttpServer::maxConnections() const { return impl_->maxConnections_; }
void HttpServer::Run() { impl_->Run(); }
void HttpServer::Stop() { impl_->Stop(); }

}  // namespace hs::locd
