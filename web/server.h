// `dailybalance serve`: the closing dialog in a browser.  An HTTP server on
// the loopback address (another address only with a token the operator
// chose) serving the dialog's page from the binary and its services as
// JSON.  Changes are POSTs that carry the session token in the
// X-Dialog-Token header; GETs only read.  Requests whose Host (or Origin)
// is not an address the server serves are refused (421, 403).
//
// Thread-safety: Serve blocks the calling thread until SIGINT or SIGTERM.
#pragma once

#include <string>
#include <vector>

namespace tovan::web {

struct ServeOptions {
  std::string db;
  int port = 8080;          // 0: any free port
  std::string bind = "127.0.0.1";
  bool bind_given = false;
  std::string token;        // empty: generated
  std::vector<std::string> public_urls;  // further addresses the dialog is reached under
  int user_id = 1;
  int app_type = 2;
};

// Answers the exit code (0 after a stop, 2 for bad options, 1 when the
// server cannot start).
int Serve(const ServeOptions& options);

}  // namespace tovan::web
