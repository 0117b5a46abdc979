// The dialog's HTTP server: cpp-httplib's routing and request handling over
// connections that this class accepts, reads and (under TLS) encrypts
// itself, so that it can hold them to limits the library lacks:
// - at most `per_address` connections at once from one address; a further
//   one is closed at once;
// - a request, head and body, must have arrived `request_deadline` after its
//   first byte (after the connection, for the first one), however slowly its
//   bytes trickle; an idle keep-alive connection ends after `keep_alive`;
// - enough threads that connections held that long keep no one waiting.
//
// Thread-safety: as httplib::Server; connections are served concurrently.
#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tovan::web {

// A server certificate and its key, loaded once (OpenSSL).
class TlsContext {
 public:
  // The context, or null with `error` saying what is wrong with the files.
  static std::shared_ptr<TlsContext> Load(const std::string& cert_file, const std::string& key_file,
                                          std::string& error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  SSL_CTX* get() const { return ctx_; }

 private:
  explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
  SSL_CTX* ctx_;
};

struct ConnectionLimits {
  int threads = 160;
  int per_address = 64;
  std::chrono::milliseconds request_deadline{10000};
  std::chrono::milliseconds keep_alive{5000};
  std::chrono::milliseconds write_timeout{10000};
  int requests_per_connection = 100;
};

class GuardedServer : public httplib::Server {
 public:
  // `tls`: null serves plain HTTP.
  GuardedServer(const ConnectionLimits& limits, std::shared_ptr<TlsContext> tls);
  // After binding: lets the kernel queue as many connections as it allows.
  // The library listens with a queue of five, so that a burst of clients
  // waits for SYN retransmits, a second and more.
  void WidenBacklog();

 private:
  bool process_and_close_socket(socket_t sock) override;
  // Counts a connection from `address`; false when it has too many already.
  bool Admit(const std::string& address);
  void Release(const std::string& address);

  ConnectionLimits limits_;
  std::shared_ptr<TlsContext> tls_;
  std::mutex mutex_;
  std::map<std::string, int> open_;  // connections by address
};

}  // namespace tovan::web
