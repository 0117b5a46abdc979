// `dailybalance serve`: the closing dialog in a browser.  An HTTP server
// serving the dialog's page from the binary and its services as JSON, to
// operators who sign in (POST /api/session) with their password.
//
// - Everything but the page, its assets and the sign-in needs a signed-in
//   session: an HttpOnly, SameSite=Strict cookie (Secure under TLS) that
//   lapses after `idle_minutes` unused.  Every POST and DELETE also carries
//   the session's CSRF token in an X-CSRF-Token header.
// - Each request acts as its operator: the back office checks their rights.
// - Sign-ins are limited per address and per account (5 failures lock it).
// - Requests whose Host (or Origin) is not an address the server serves are
//   refused (421, 403).
// - A non-loopback address needs TLS (a certificate and its key), or plain
//   HTTP asked for by name.
//
// Thread-safety: Serve blocks the calling thread until SIGINT or SIGTERM.
#pragma once

#include <string>
#include <vector>

namespace tovan::web {

struct ServeOptions {
  std::string db;
  int port = 8080;  // 0: any free port
  std::string bind = "127.0.0.1";
  std::vector<std::string> public_urls;  // further addresses the dialog is reached under
  std::string tls_cert, tls_key;         // PEM files; both or neither
  bool insecure_http = false;            // plain HTTP beyond loopback, on purpose
  int idle_minutes = 30;
  int app_type = 2;
};

// Answers the exit code (0 after a stop, 2 for bad options, 1 when the
// server cannot start).
int Serve(const ServeOptions& options);

}  // namespace tovan::web
