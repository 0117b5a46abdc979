#include "web/server.h"

#include <httplib.h>
#include <fmt/format.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "backoffice/closed_days.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "backoffice/operators.h"
#include "backoffice/sign_in.h"
#include "backoffice/open_bills.h"
#include "backoffice/refusal.h"
#include "backoffice/session.h"
#include "platform/automation/error.h"
#include "platform/host/data_context.h"
#include "web/address_guard.h"
#include "web/assets.h"
#include "web/dialog_inputs.h"
#include "web/dialog_service.h"
#include "web/guarded_server.h"
#include "web/host_workers.h"
#include "web/job_registry.h"
#include "web/sign_in_limits.h"
#include "web/signed_in_sessions.h"

namespace tovan::web {

namespace bo = backoffice;

namespace {
constexpr int kWorkers = 4;
constexpr size_t kMaxBody = 8 * 1024 * 1024;
constexpr int kEventWaitMs = 15000;
constexpr size_t kMaxSessions = 1000;
constexpr const char* kCookie = "dialog_session";

void Answer(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json; charset=utf-8");
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
  std::string line = message.substr(0, message.find_first_of("\r\n"));
  Answer(res, status, Json{{"error", line}});
}

void AskToSignIn(httplib::Response& res, const std::string& message, const std::string& key = "") {
  Json answer{{"error", message}, {"signIn", true}};
  if (!key.empty()) answer["key"] = key;
  Answer(res, 401, answer);
}

void TooManyAttempts(httplib::Response& res, std::chrono::seconds wait, const std::string& what) {
  res.set_header("Retry-After", std::to_string(wait.count()));
  const auto minutes = (wait.count() + 59) / 60;
  Answer(res, 429,
         Json{{"error", what + ": try again in " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes")},
              {"key", "tooManyAttempts"},
              {"values", Json{{"minutes", std::to_string(minutes)}}}});
}

// The value of cookie `name` in a Cookie header ("a=1; b=2").
std::string CookieValue(const std::string& header, const std::string& name) {
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string pair = header.substr(at, end - at);
    size_t first = pair.find_first_not_of(' ');
    if (first != std::string::npos && pair.compare(first, name.size() + 1, name + "=") == 0)
      return pair.substr(first + name.size() + 1);
    at = end + 1;
  }
  return {};
}

Json SessionJson(const SignedIn& who) {
  return Json{{"user", who.user}, {"name", who.name}, {"role", who.role}, {"csrf", who.csrf}};
}

class DialogServer {
 public:
  DialogServer(const ServeOptions& options, bool tls)
      : tls_(tls),
        sessions_(std::chrono::minutes(options.idle_minutes), kMaxSessions),
        workers_(bo::SessionOptions{options.db, 1, options.app_type}, kWorkers) {}

  // Filled once the server is bound, before it listens.
  AllowedHosts& allowed() { return allowed_; }

  void Route(httplib::Server& server) {
    server.set_payload_max_length(kMaxBody);
    // Only requests addressed to this server: a page elsewhere that reaches it
    // through a name resolving here neither reads nor changes anything.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (!allowed_.HostAllowed(req.get_header_value("Host"))) {
        Refuse(res, 421, "not an address this server serves: " + req.get_header_value("Host"));
        return httplib::Server::HandlerResponse::Handled;
      }
      if (req.has_header("Origin") && !allowed_.OriginAllowed(req.get_header_value("Origin"))) {
        Refuse(res, 403, "requests from " + req.get_header_value("Origin") + " are not this dialog's");
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "DENY"}});
    for (const char* path : {"/", "/catalog.js", "/dialog.js", "/dialog.css"}) {
      server.Get(path, [](const httplib::Request& req, httplib::Response& res) {
        auto asset = FindAsset(req.path);
        res.set_content(std::string(asset->content), std::string(asset->content_type).c_str());
      });
    }
    RouteSession(server);
    Read(server, "/api/settings", [](bo::Session& s, const Fields&) { return Settings(s); });
    Read(server, "/api/shops", [](bo::Session& s, const Fields&) { return Shops(s); });
    Read(server, "/api/bills", [](bo::Session& s, const Fields& f) {
      BillFilterFields in = ReadBillFilter(f);
      if (in.shop) in.filter.shop = bo::ResolveShop(s, "shop", *in.shop).id;
      return bo::ToJson(bo::ListOpenBills(s, in.filter));
    });
    Read(server, "/api/customers", [](bo::Session& s, const Fields&) { return Customers(s); });
    Read(server, R"(/api/customers/([^/]+))", [](bo::Session& s, const Fields& f) {
      return Customer(s, ReadId("client", *f("$1")));
    });
    Read(server, "/api/accounts", [](bo::Session& s, const Fields&) { return Accounts(s); });
    Read(server, "/api/closed", [](bo::Session& s, const Fields& f) {
      ClosedFilterFields in = ReadClosedFilter(f);
      if (in.shop) in.filter.shop = bo::ResolveShop(s, "shop", *in.shop).id;
      return bo::ToJson(bo::ListClosedDays(s, in.filter));
    });
    Read(server, R"(/api/closed/([^/]+))", [](bo::Session& s, const Fields& f) {
      return bo::ToJson(bo::ShowDay(s, ReadId("id", *f("$1"))));
    });
    Read(server, R"(/api/closed/([^/]+)/report)", [](bo::Session& s, const Fields& f) {
      return bo::ToJson(bo::ReportClosing(s, ReadId("id", *f("$1"))));
    });
    Read(server, "/api/log", [](bo::Session& s, const Fields& f) {
      AuditFilterFields in = ReadAuditFilter(f);
      if (in.shop) in.filter.shop = bo::ResolveShop(s, "shop", *in.shop).id;
      return bo::ToJson(bo::ReadAuditTrail(s, in.filter));
    });
    // A selection can be thousands of ids, too long for a URL: these reads
    // take a body, and like every POST they carry the CSRF token.
    Change(server, "/api/selection", [this](const SignedIn& who, const Fields& f, httplib::Response& res) {
      std::string ids = ReadIds(f, 100000);
      Json out;
      workers_.Run(who.user, [&](bo::Session& s) {
        host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
        out = bo::ToJson(bo::TotalSelection(s, ids));
      });
      Answer(res, 200, out);
    });
    Change(server, "/api/check", [this](const SignedIn& who, const Fields& f, httplib::Response& res) {
      bo::ClosingRequest request = ReadClosingRequest(f);
      Json out;
      workers_.Run(who.user, [&](bo::Session& s) { out = bo::ToJson(bo::CheckClosing(s, request)); });
      Answer(res, 200, out);
    });
    // The host's checks answer at once (400, 403, or 409 when the data moved
    // on); the closing itself runs as a job and reports its progress.
    // A supervisor's sign-off tries their password: it counts towards the
    // same lock as their sign-ins, so that a count is no way round it.
    Change(server, "/api/close", [this](const SignedIn& who, const Fields& f, httplib::Response& res) {
      bo::ClosingRequest request = ReadClosingRequest(f);
      std::string sign_off_account;
      workers_.Run(who.user, [&](bo::Session& s) {
        bo::PlanClosing(s, request);
        if (!request.count || !request.count->sign_off) return;
        const std::string& user = request.count->sign_off->user;
        const int32_t claimed = bo::ClaimedOperator(s, user);
        sign_off_account = claimed != 0 ? "#" + std::to_string(claimed) : "?" + user;
      });
      if (!sign_off_account.empty())
        if (auto locked = limits_.AccountLocked(sign_off_account))
          return TooManyAttempts(res, *locked, "too many failed passwords for " + request.count->sign_off->user);
      int64_t job = StartJob("close", who.user, [this, request, sign_off_account](bo::Session& s,
                                                                                 automation::DispatchPtr events) {
        // Jobs queued before a lock are held to it too: none tries the password once it is locked.
        if (!sign_off_account.empty() && limits_.AccountLocked(sign_off_account))
          return Json{{"ok", false},
                      {"message", "too many failed passwords for " + request.count->sign_off->user},
                      {"field", "signOff"},
                      {"causes", Json::array()},
                      {"key", "signOffLocked"}};
        Json out = Close(s, request, std::move(events));
        if (!sign_off_account.empty()) {
          if (out.value("message", "") == bo::kWrongSignOff) limits_.Failed(sign_off_account);
          if (out.value("ok", false)) limits_.Succeeded(sign_off_account);
        }
        return out;
      });
      Answer(res, 202, Json{{"job", job}});
    });
    Change(server, "/api/cancel", [this](const SignedIn& who, const Fields& f, httplib::Response& res) {
      std::string ids = ReadIds(f, 1000);
      std::string reason = f("reason").value_or("");
      if (reason.size() > 500) throw bo::Refusal("reason", "at most 500 bytes");
      workers_.Run(who.user, [&](bo::Session& s) { bo::CheckCancel(s, ids, reason); });
      int64_t job = StartJob("cancel", who.user, [ids, reason](bo::Session& s, automation::DispatchPtr events) {
        return Cancel(s, ids, reason, std::move(events));
      });
      Answer(res, 202, Json{{"job", job}});
    });
    server.Get(R"(/api/jobs/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
      auto who = SignedInFor(req, res);
      if (!who) return;
      Guard(*who, res, [&] {
        auto job = jobs_.Find(ReadId("job", req.matches[1]));
        if (!job || job->owner != who->user) return Refuse(res, 404, "no such job");
        Answer(res, 200, job->ToJson());
      });
    });
    // Progress as server-sent events: one event per change, the last when the job is done.
    server.Get(R"(/api/jobs/([^/]+)/events)", [this](const httplib::Request& req, httplib::Response& res) {
      auto who = SignedInFor(req, res);
      if (!who) return;
      int64_t id = 0;
      try {
        id = ReadId("job", req.matches[1]);
      } catch (const bo::Refusal& e) {
        return Refuse(res, 400, e.message);
      }
      auto found = jobs_.Find(id);
      if (!found || found->owner != who->user) return Refuse(res, 404, "no such job");
      res.set_header("Cache-Control", "no-store");
      auto seen = std::make_shared<int64_t>(0);
      res.set_chunked_content_provider("text/event-stream", [this, id, seen](size_t, httplib::DataSink& sink) {
        auto job = jobs_.WaitForChange(id, *seen, kEventWaitMs);
        if (!job) return false;
        if (job->version > *seen) {
          *seen = job->version;
          std::string event = "data: " + job->ToJson().dump() + "\n\n";
          if (!sink.write(event.data(), event.size())) return false;
        } else {
          sink.write(": waiting\n\n", 11);
        }
        if (job->state == "done") sink.done();
        return true;
      });
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) Refuse(res, res.status, res.status == 404 ? "not found" : "refused");
    });
  }

 private:
  using ReadBody = std::function<Json(bo::Session&, const Fields&)>;
  using ChangeBody = std::function<void(const SignedIn&, const Fields&, httplib::Response&)>;
  using JobBody = std::function<Json(bo::Session&, automation::DispatchPtr)>;

  // Sign in (POST), who is signed in (GET), sign out (DELETE).
  void RouteSession(httplib::Server& server) {
    server.Get("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
      if (auto who = SignedInFor(req, res)) Answer(res, 200, SessionJson(*who));
    });
    server.Post("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return Refuse(res, 415, "the body must be application/json");
      SignedIn who;
      Guard(who, res, [&] { SignIn(req, res); });
    });
    server.Delete("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
      auto who = SignedInFor(req, res);
      if (!who || !CsrfHolds(req, *who, res)) return;
      sessions_.Close(CookieValue(req.get_header_value("Cookie"), kCookie));
      res.set_header("Set-Cookie", CookieHeader("", "; Max-Age=0"));
      Answer(res, 200, Json{{"signedOut", true}});
    });
  }

  void SignIn(const httplib::Request& req, httplib::Response& res) {
    Fields f = JsonFields(req.body);
    const std::string user = f("user").value_or("");
    const std::string password = f("password").value_or("");
    if (user.empty()) throw bo::Refusal("user", "who signs in: an operator's id or name");
    if (password.empty() || password.size() > 1024) throw bo::Refusal("password", "the operator's password");
    const std::string& address = req.remote_addr;
    if (auto wait = limits_.AddressAttempt(address)) return TooManyAttempts(res, *wait, "too many sign-ins from " + address);
    std::optional<bo::Operator> op;
    std::optional<std::chrono::seconds> locked;
    std::string account;
    workers_.Run(0, [&](bo::Session& s) {
      const int32_t claimed = bo::ClaimedOperator(s, user);
      // An unknown name locks like an operator's, so locking does not tell which names exist.
      account = claimed != 0 ? "#" + std::to_string(claimed) : "?" + user;
      locked = limits_.AccountLocked(account);
      if (locked) return bo::AuditSignInRefused(s, claimed, user, address, "locked after failed sign-ins");
      op = bo::SignIn(s, claimed, user, password, address);
    });
    if (locked) return TooManyAttempts(res, *locked, "too many failed sign-ins for " + user);
    if (!op) {
      limits_.Failed(account);
      return Answer(res, 401, Json{{"error", "wrong operator or password"}, {"field", "password"}, {"signIn", true},
                                   {"key", "wrongSignIn"}});
    }
    limits_.Succeeded(account);
    SignedIn who{op->id, op->name, bo::RoleName(op->role), ""};
    const std::string cookie = sessions_.Open(who);
    res.set_header("Set-Cookie", CookieHeader(cookie, ""));
    Answer(res, 200, SessionJson(who));
  }

  std::string CookieHeader(const std::string& value, const std::string& extra) const {
    return std::string(kCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict" + (tls_ ? "; Secure" : "") +
           extra;
  }

  // The request's signed-in operator; otherwise answers 401 and nullopt.
  std::optional<SignedIn> SignedInFor(const httplib::Request& req, httplib::Response& res) {
    auto who = sessions_.Find(CookieValue(req.get_header_value("Cookie"), kCookie));
    if (!who) AskToSignIn(res, "sign in first", "signInFirst");
    return who;
  }

  bool CsrfHolds(const httplib::Request& req, const SignedIn& who, httplib::Response& res) {
    if (SameSecret(req.get_header_value("X-CSRF-Token"), who.csrf)) return true;
    Refuse(res, 403, "missing or wrong X-CSRF-Token header");
    return false;
  }

  void Read(httplib::Server& server, const std::string& pattern, ReadBody body) {
    server.Get(pattern, [this, body](const httplib::Request& req, httplib::Response& res) {
      auto who = SignedInFor(req, res);
      if (!who) return;
      Fields fields = [&req](const std::string& name) -> std::optional<std::string> {
        if (name == "$1") return req.matches.size() > 1 ? std::optional<std::string>(req.matches[1]) : std::nullopt;
        if (!req.has_param(name.c_str())) return std::nullopt;
        return req.get_param_value(name.c_str());
      };
      Guard(*who, res, [&] {
        Json out;
        workers_.Run(who->user, [&](bo::Session& s) { out = body(s, fields); });
        Answer(res, 200, out);
      });
    });
  }

  void Change(httplib::Server& server, const std::string& pattern, ChangeBody body) {
    server.Post(pattern, [this, body](const httplib::Request& req, httplib::Response& res) {
      auto who = SignedInFor(req, res);
      if (!who || !CsrfHolds(req, *who, res)) return;
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return Refuse(res, 415, "the body must be application/json");
      Guard(*who, res, [&] { body(*who, JsonFields(req.body), res); });
    });
  }

  template <class F>
  void Guard(const SignedIn& who, httplib::Response& res, F&& f) {
    try {
      f();
    } catch (const OperatorUnavailable& e) {
      sessions_.CloseUser(who.user);
      AskToSignIn(res, e.message);
    } catch (const bo::Refusal& e) {
      const int status = e.kind == bo::Refusal::Kind::kConflict ? 409 : e.kind == bo::Refusal::Kind::kForbidden ? 403 : 400;
      Answer(res, status, RefusalJson(e));
    } catch (const bo::OperationFailed& e) {
      Refuse(res, 409, e.message);
    } catch (const automation::AutomationError& e) {
      Refuse(res, 500, e.description());
    } catch (const std::exception& e) {
      Refuse(res, 500, e.what());
    }
  }

  int64_t StartJob(const std::string& kind, int32_t user, JobBody body) {
    int64_t id = jobs_.Start(kind, user);
    workers_.Post(user, [this, id, body](bo::Session* session, std::exception_ptr failure) {
      Json result;
      if (!session) {
        result = Json{{"ok", false}, {"message", FailureText(failure)}};
      } else {
        auto events = std::make_shared<hostlib::EventsSwitch>(jobs_.DisplayFor(id));
        result = body(*session, events);
      }
      jobs_.Finish(id, std::move(result));
    });
    return id;
  }

  static std::string FailureText(std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const OperatorUnavailable& e) {
      return e.message;
    } catch (const bo::Refusal& e) {
      return e.message;
    } catch (const automation::AutomationError& e) {
      return e.description();
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  bool tls_;
  AllowedHosts allowed_;
  SignedInSessions sessions_;
  SignInLimits limits_;
  JobRegistry jobs_;
  HostWorkers workers_;
};
}  // namespace

int Serve(const ServeOptions& options) {
  const bool loopback = ResolvesToLoopbackOnly(options.bind);
  const bool tls = !options.tls_cert.empty() || !options.tls_key.empty();
  std::shared_ptr<TlsContext> tls_context;
  bool someone_can_sign_in = false;
  try {
    // Judged by what the address resolves to: a name for 0.0.0.0 is not loopback.
    if (!loopback && !tls && !options.insecure_http)
      throw bo::Refusal("", "--bind " + options.bind +
                                ": an address that is not loopback only needs --tls-cert and --tls-key "
                                "(or --insecure-http, to send passwords in the clear on purpose)");
    if (options.tls_cert.empty() != options.tls_key.empty())
      throw bo::Refusal("", "--tls-cert and --tls-key go together");
    if (tls && options.insecure_http) throw bo::Refusal("", "--insecure-http: not with --tls-cert");
    for (const std::string& url : options.public_urls) {
      AllowedHosts check;
      if (!check.AddPublicUrl(url)) throw bo::Refusal("", "--public-url: expected http(s)://name[:port], not " + url);
    }
    if (options.port < 0 || options.port > 65535) throw bo::Refusal("", "--port: 0 to 65535");
    if (options.idle_minutes < 1 || options.idle_minutes > 1440) throw bo::Refusal("", "--idle-minutes: 1 to 1440");
    if (tls) {
      std::string error;
      tls_context = TlsContext::Load(options.tls_cert, options.tls_key, error);
      if (!tls_context) throw bo::Refusal("", error);
    }
    // Checks the database and registers the libraries once, before the workers start.
    bo::Session check(bo::SessionOptions{options.db, 1, options.app_type, false});
    for (const bo::Operator& op : bo::ListOperators(check)) someone_can_sign_in |= op.active && op.has_password;
  } catch (const bo::Refusal& e) {
    std::fprintf(stderr, "dailybalance: %s%s\n", e.field == "db" ? "--db: " : "", e.message.c_str());
    for (const std::string& cause : e.causes) std::fprintf(stderr, "dailybalance: %s\n", cause.c_str());
    return 2;
  } catch (const automation::AutomationError& e) {
    std::fprintf(stderr, "dailybalance: %s\n", e.description().c_str());
    return 1;
  }

  // SIGINT and SIGTERM are taken by one thread that stops the server.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  GuardedServer server(ConnectionLimits{}, tls_context);
  DialogServer dialog(options, tls);
  dialog.Route(server);
  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.bind.c_str());
  } else if (!server.bind_to_port(options.bind.c_str(), port)) {
    port = -1;
  }
  if (port < 0) {
    std::fprintf(stderr, "dailybalance: cannot listen on %s:%d\n", options.bind.c_str(), options.port);
    return 1;
  }
  server.WidenBacklog();
  dialog.allowed().Serve(options.bind, port, loopback, tls);
  for (const std::string& url : options.public_urls) dialog.allowed().AddPublicUrl(url);
  if (!loopback && !tls)
    std::fprintf(stderr,
                 "dailybalance: warning: plain HTTP on %s, which is not loopback: passwords and data cross the "
                 "network unencrypted\n",
                 options.bind.c_str());
  if (!someone_can_sign_in)
    std::fprintf(stderr,
                 "dailybalance: no operator can sign in yet: give one a password with "
                 "dailybalance user passwd --db %s ID\n",
                 options.db.c_str());
  std::string host = options.bind.find(':') != std::string::npos ? "[" + options.bind + "]" : options.bind;
  std::printf("Closing dialog: %s://%s:%d/\n", tls ? "https" : "http", host.c_str(), port);
  std::fflush(stdout);

  std::atomic<bool> listening_ended{false};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stop_signals, &signal);
    // A signal that comes before the server runs would find nothing to stop: stop until it has.
    while (!listening_ended) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  server.listen_after_bind();
  listening_ended = true;
  // A stop that did not come from a signal still has to release the waiting thread.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}

}  // namespace tovan::web
