// A proxy between libpq and the test server's Unix socket that cuts a
// connection at the COMMIT of a unit that writes: just after the COMMIT has
// passed to the server (so the server commits and its answer is lost), or
// just before (so the server never sees it).  A cut can also leave the
// server unreachable through the proxy, as a network that stays down would.
//
// The proxy listens on a socket of libpq's naming in a folder of its own, so
// a data source reaches it by its host= alone.
//
// Thread-safety: its methods may be called from any thread.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tovan::testing {

class CommitCuttingProxy {
 public:
  enum class Cut { kAfterCommitPassed, kBeforeCommitPassed };

  // `server_folder`: the folder of the server's socket (its host=).
  explicit CommitCuttingProxy(const std::string& server_folder)
      : server_socket_(server_folder + "/" + kSocketName) {
    listener_ = Listen(dir_.File(kSocketName));
    acceptor_ = std::thread([this] { Accept(); });
  }

  ~CommitCuttingProxy() {
    stop_ = true;
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::thread& pump : pumps_) pump.join();
    ::close(listener_);
  }

  CommitCuttingProxy(const CommitCuttingProxy&) = delete;
  CommitCuttingProxy& operator=(const CommitCuttingProxy&) = delete;

  // `data_source` (a postgresql:// text with host=) reached through the proxy.
  std::string Through(const std::string& data_source) const {
    const std::size_t at = data_source.find("host=");
    return data_source.substr(0, at) + "host=" + dir_.path().string();
  }

  // Cuts at the next COMMIT of a unit that writes, on any connection; with
  // `then_unreachable` every connection made after the cut is closed at once.
  void CutNextCommit(Cut how, bool then_unreachable = false) {
    how_ = how;
    unreachable_after_ = then_unreachable;
    armed_ = true;
  }
  int cuts() const { return cuts_; }

 private:
  static constexpr const char* kSocketName = ".s.PGSQL.5432";

  static int Listen(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 64) != 0)
      throw std::runtime_error("the proxy cannot listen on " + path);
    return fd;
  }

  int ConnectServer() const {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, server_socket_.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  void Accept() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      int server = unreachable_ ? -1 : ConnectServer();
      if (server < 0) {
        ::close(client);
        continue;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      pumps_.emplace_back([this, client, server] { Pump(client, server); });
    }
  }

  static bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  // Forwards both ways until either side closes, the proxy stops, or a cut.
  void Pump(int client, int server) {
    // A unit that writes takes its transaction id as it begins; its COMMIT is the one to cut.
    bool writing = false;
    std::vector<char> buffer(1 << 16);
    while (!stop_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[1].revents != 0) {
        const ssize_t n = ::recv(server, buffer.data(), buffer.size(), 0);
        if (n <= 0 || !SendAll(client, buffer.data(), static_cast<std::size_t>(n))) break;
      }
      if (p[0].revents != 0) {
        const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        const std::string_view sent(buffer.data(), static_cast<std::size_t>(n));
        if (sent.find("_xact_id()") != std::string_view::npos || sent.find("txid_current()") != std::string_view::npos)
          writing = true;
        // The Parse message of our COMMIT: an unnamed statement, then its text.
        const bool commit = sent.find(std::string_view("\0COMMIT\0", 8)) != std::string_view::npos;
        if (commit && writing && armed_.exchange(false)) {
          if (how_ == Cut::kAfterCommitPassed) SendAll(server, sent.data(), sent.size());
          if (unreachable_after_) unreachable_ = true;
          ++cuts_;
          break;
        }
        if (commit || sent.find(std::string_view("\0ROLLBACK\0", 10)) != std::string_view::npos) writing = false;
        if (!SendAll(server, sent.data(), sent.size())) break;
      }
    }
    ::close(client);
    ::close(server);
  }

  TempDir dir_;
  std::string server_socket_;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> armed_{false};
  std::atomic<Cut> how_{Cut::kAfterCommitPassed};
  std::atomic<bool> unreachable_after_{false};
  std::atomic<bool> unreachable_{false};
  std::atomic<int> cuts_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> pumps_;
};

}  // namespace tovan::testing
