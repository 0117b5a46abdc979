#include "web/guarded_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tovan::web {

namespace {
using Clock = std::chrono::steady_clock;

std::string Numeric(const sockaddr_storage& addr, socklen_t len, int& port) {
  char host[NI_MAXHOST] = {}, serv[NI_MAXSERV] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&addr), len, host, sizeof host, serv, sizeof serv,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return {};
  port = std::atoi(serv);
  return host;
}

std::string PeerAddress(int fd, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
  return Numeric(addr, len, port);
}

// Waits until `fd` is ready for `events`, or `deadline` passes (false).
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

// A connection's bytes, plain or through TLS, over a non-blocking socket:
// every read waits no later than the request's deadline, every write no
// longer than the write timeout.
class GuardedStream : public httplib::Stream {
 public:
  GuardedStream(int fd, SSL* ssl, std::chrono::milliseconds write_timeout)
      : fd_(fd), ssl_(ssl), write_timeout_(write_timeout) {}

  void ReadBy(Clock::time_point deadline) {
    read_deadline_ = deadline;
    overran_ = false;
  }
  // Whether a read gave up at the deadline.
  bool Overran() const { return overran_; }
  // Bytes received already, waiting to be read.
  bool Pending() const { return buffered_ < filled_ || (ssl_ != nullptr && SSL_pending(ssl_) > 0); }

  bool is_readable() const override { return Pending() || WaitFor(fd_, POLLIN, read_deadline_); }
  bool is_writable() const override { return WaitFor(fd_, POLLOUT, Clock::now() + write_timeout_); }

  // The library reads a request's head a byte at a time: serves those from a buffer.
  ssize_t read(char* ptr, size_t size) override {
    // A request that trickles in stays bound by its deadline, however steadily its bytes come.
    if (Clock::now() >= read_deadline_) return GiveUp();
    if (buffered_ == filled_) {
      if (size >= sizeof buffer_) return Receive(ptr, size);
      ssize_t n = Receive(buffer_, sizeof buffer_);
      if (n <= 0) return n;
      buffered_ = 0;
      filled_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, filled_ - buffered_);
    std::memcpy(ptr, buffer_ + buffered_, n);
    buffered_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const auto deadline = Clock::now() + write_timeout_;
    for (;;) {
      if (ssl_) {
        ERR_clear_error();
        int n = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        if (n > 0) return n;
        if (!Await(SSL_get_error(ssl_, n), deadline)) return -1;
      } else {
        ssize_t n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!WaitFor(fd_, POLLOUT, deadline)) return -1;
      }
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = PeerAddress(fd_, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) ip = Numeric(addr, len, port);
  }
  socket_t socket() const override { return fd_; }

  // The TLS handshake, done by `deadline`.
  bool Handshake(Clock::time_point deadline) {
    for (;;) {
      ERR_clear_error();
      int n = SSL_accept(ssl_);
      if (n == 1) return true;
      if (!Await(SSL_get_error(ssl_, n), deadline)) return false;
    }
  }

 private:
  ssize_t Receive(char* ptr, size_t size) {
    for (;;) {
      if (ssl_) {
        ERR_clear_error();
        int n = SSL_read(ssl_, ptr, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        if (n > 0) return n;
        int error = SSL_get_error(ssl_, n);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (!Await(error, read_deadline_)) return GiveUp();
      } else {
        ssize_t n = ::recv(fd_, ptr, size, 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!WaitFor(fd_, POLLIN, read_deadline_)) return GiveUp();
      }
    }
  }

  ssize_t GiveUp() {
    overran_ = true;
    return -1;
  }

  // After an OpenSSL call that could not finish: waits for what it wants.
  bool Await(int ssl_error, Clock::time_point deadline) const {
    if (ssl_error == SSL_ERROR_WANT_READ) return WaitFor(fd_, POLLIN, deadline);
    if (ssl_error == SSL_ERROR_WANT_WRITE) return WaitFor(fd_, POLLOUT, deadline);
    return false;
  }

  int fd_;
  SSL* ssl_;
  std::chrono::milliseconds write_timeout_;
  Clock::time_point read_deadline_{};
  bool overran_ = false;
  char buffer_[4096];
  size_t buffered_ = 0, filled_ = 0;  // buffer_[buffered_, filled_) is still to be read
};
}  // namespace

std::shared_ptr<TlsContext> TlsContext::Load(const std::string& cert_file, const std::string& key_file,
                                             std::string& error) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    error = "OpenSSL cannot make a server context";
    return nullptr;
  }
  std::shared_ptr<TlsContext> out(new TlsContext(ctx));
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
  auto failed = [&](const std::string& what) {
    char reason[256] = {};
    ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
    error = what + " (" + reason + ")";
    ERR_clear_error();
    return nullptr;
  };
  if (SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1)
    return failed("--tls-cert " + cert_file + ": not a PEM certificate file");
  if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1)
    return failed("--tls-key " + key_file + ": not a PEM private key file");
  if (SSL_CTX_check_private_key(ctx) != 1) return failed("--tls-key " + key_file + ": not the certificate's key");
  return out;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

GuardedServer::GuardedServer(const ConnectionLimits& limits, std::shared_ptr<TlsContext> tls)
    : limits_(limits), tls_(std::move(tls)) {
  const int threads = limits_.threads;
  new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
}

void GuardedServer::WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

bool GuardedServer::Admit(const std::string& address) {
  std::lock_guard lock(mutex_);
  int& open = open_[address];
  if (open >= limits_.per_address) return false;
  ++open;
  return true;
}

void GuardedServer::Release(const std::string& address) {
  std::lock_guard lock(mutex_);
  if (--open_[address] <= 0) open_.erase(address);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  const auto connected = Clock::now();
  int port = 0;
  const std::string address = PeerAddress(sock, port);
  if (address.empty() || !Admit(address)) {
    ::close(sock);
    return false;
  }
  ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
  SSL* ssl = nullptr;
  if (tls_) {
    ssl = SSL_new(tls_->get());
    if (ssl) SSL_set_fd(ssl, sock);
  }
  GuardedStream stream(sock, ssl, limits_.write_timeout);
  bool served = false;
  if (!tls_ || (ssl && stream.Handshake(connected + limits_.request_deadline))) {
    for (int count = 0; count < limits_.requests_per_connection && is_running(); ++count) {
      // The first request counts from the connection; a later one from its first byte.
      Clock::time_point start = connected;
      if (count > 0) {
        const auto idle_until = Clock::now() + limits_.keep_alive;
        bool readable = stream.Pending();
        while (!readable && is_running() && Clock::now() < idle_until)
          readable = WaitFor(sock, POLLIN, std::min(idle_until, Clock::now() + std::chrono::milliseconds(200)));
        if (!readable) break;
        start = Clock::now();
      }
      stream.ReadBy(start + limits_.request_deadline);
      bool connection_closed = false;
      const bool last = count + 1 == limits_.requests_per_connection;
      served = process_request(stream, last, connection_closed, nullptr);
      // A request that overran its deadline was answered 400; the rest of it is not waited for.
      if (!served || connection_closed || stream.Overran()) break;
    }
  }
  if (ssl) {
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  Release(address);
  return served;
}

}  // namespace tovan::web
