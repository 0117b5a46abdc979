// Which requests are the dialog's own: the Host header (and the Origin
// header, when a browser sends one) must name an address the server serves,
// so that a page elsewhere cannot read the dialog through a name that merely
// resolves here (DNS rebinding).  And whether an address to listen on is
// loopback only, judged by what it resolves to, not by its text.
//
// Thread-safety: AllowedHosts is filled before the server listens and only
// read after.
#pragma once

#include <string>
#include <vector>

namespace tovan::web {

// True when every address `host` resolves to is a loopback address; false
// when one is not, or when it does not resolve.
bool ResolvesToLoopbackOnly(const std::string& host);

class AllowedHosts {
 public:
  // The server's own address and port; a loopback one also as localhost,
  // 127.0.0.1 and [::1].  `tls`: pages come from https:// origins.
  void Serve(const std::string& bind, int port, bool loopback, bool tls);
  // A URL the operator publishes the dialog under (--public-url); raises
  // nothing, answers false for one that is not http(s)://name[:port].
  bool AddPublicUrl(const std::string& url);

  // "name:port" as a Host header carries it; a missing port is 80.
  bool HostAllowed(const std::string& host_header) const;
  // "scheme://name[:port]" as an Origin header carries it.
  bool OriginAllowed(const std::string& origin) const;

 private:
  std::vector<std::string> hosts_;    // "name:port", lower case
  std::vector<std::string> origins_;  // "scheme://name:port", lower case
};

}  // namespace tovan::web
