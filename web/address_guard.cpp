#include "web/address_guard.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tovan::web {

namespace {
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// "name:port" with the default port written out; IPv6 names in brackets.
std::string WithPort(const std::string& host, int default_port) {
  const bool bracketed = !host.empty() && host.front() == '[';
  const size_t colon = host.rfind(':');
  const bool has_port = colon != std::string::npos && (!bracketed || colon > host.find(']'));
  if (has_port) return Lower(host);
  return Lower(host) + ":" + std::to_string(default_port);
}

std::string Bracketed(const std::string& name) {
  return name.find(':') != std::string::npos && name.front() != '[' ? "[" + name + "]" : name;
}
}  // namespace

bool ResolvesToLoopbackOnly(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool loopback = true;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      loopback = loopback && (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    } else if (a->ai_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
      loopback = loopback && IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
    } else {
      loopback = false;
    }
  }
  ::freeaddrinfo(found);
  return loopback;
}

void AllowedHosts::Serve(const std::string& bind, int port, bool loopback, bool tls) {
  std::vector<std::string> names{Bracketed(bind)};
  if (loopback) names.insert(names.end(), {"localhost", "127.0.0.1", "[::1]"});
  for (const std::string& name : names) {
    hosts_.push_back(Lower(name) + ":" + std::to_string(port));
    origins_.push_back((tls ? "https://" : "http://") + hosts_.back());
  }
}

bool AllowedHosts::AddPublicUrl(const std::string& url) {
  const std::string lower = Lower(url);
  const bool https = lower.rfind("https://", 0) == 0;
  if (!https && lower.rfind("http://", 0) != 0) return false;
  std::string rest = lower.substr(https ? 8 : 7);
  rest = rest.substr(0, rest.find('/'));
  if (rest.empty() || rest.find_first_of("@?# ") != std::string::npos) return false;
  const std::string host = WithPort(rest, https ? 443 : 80);
  hosts_.push_back(host);
  origins_.push_back((https ? "https://" : "http://") + host);
  return true;
}

bool AllowedHosts::HostAllowed(const std::string& host_header) const {
  if (host_header.empty()) return false;
  return std::find(hosts_.begin(), hosts_.end(), WithPort(host_header, 80)) != hosts_.end();
}

bool AllowedHosts::OriginAllowed(const std::string& origin) const {
  const std::string lower = Lower(origin);
  const bool https = lower.rfind("https://", 0) == 0;
  if (!https && lower.rfind("http://", 0) != 0) return false;
  const std::string normal = (https ? "https://" : "http://") + WithPort(lower.substr(https ? 8 : 7), https ? 443 : 80);
  return std::find(origins_.begin(), origins_.end(), normal) != origins_.end();
}

}  // namespace tovan::web
