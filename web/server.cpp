#include "web/server.h"

#include <httplib.h>
#include <fmt/format.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <random>
#include <thread>

#include "backoffice/closed_days.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "backoffice/open_bills.h"
#include "backoffice/refusal.h"
#include "backoffice/session.h"
#include "platform/automation/error.h"
#include "platform/host/data_context.h"
#include "web/address_guard.h"
#include "web/assets.h"
#include "web/dialog_inputs.h"
#include "web/dialog_service.h"
#include "web/host_workers.h"
#include "web/job_registry.h"

namespace tovan::web {

namespace bo = backoffice;

namespace {
constexpr int kWorkers = 4;
constexpr size_t kMaxBody = 8 * 1024 * 1024;
constexpr size_t kMinTokenLength = 16;
constexpr int kEventWaitMs = 15000;

std::string NewToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) token += fmt::format("{:08x}", random());
  return token;
}

// Compares without stopping at the first difference, so timing does not tell how much matched.
bool SameToken(const std::string& given, const std::string& expected) {
  if (given.size() != expected.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < given.size(); ++i) diff |= static_cast<unsigned char>(given[i] ^ expected[i]);
  return diff == 0;
}

void Answer(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json; charset=utf-8");
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
  std::string line = message.substr(0, message.find_first_of("\r\n"));
  Answer(res, status, Json{{"error", line}});
}

class DialogServer {
 public:
  explicit DialogServer(const ServeOptions& options)
      : options_(options),
        workers_(bo::SessionOptions{options.db, options.user_id, options.app_type}, kWorkers) {}

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
                                {"Referrer-Policy", "no-referrer"}});
    for (const char* path : {"/", "/dialog.js", "/dialog.css"}) {
      server.Get(path, [](const httplib::Request& req, httplib::Response& res) {
        auto asset = FindAsset(req.path);
        res.set_content(std::string(asset->content), std::string(asset->content_type).c_str());
      });
    }
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
    // A selection can be thousands of ids, too long for a URL: these reads
    // take a body, and like every POST they carry the token.
    Change(server, "/api/selection", [this](const Fields& f, httplib::Response& res) {
      std::string ids = ReadIds(f, 100000);
      Json out;
      workers_.Run([&](bo::Session& s) {
        host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
        out = bo::ToJson(bo::TotalSelection(s, ids));
      });
      Answer(res, 200, out);
    });
    Change(server, "/api/check", [this](const Fields& f, httplib::Response& res) {
      bo::ClosingRequest request = ReadClosingRequest(f);
      Json out;
      workers_.Run([&](bo::Session& s) { out = bo::ToJson(bo::CheckClosing(s, request)); });
      Answer(res, 200, out);
    });
    // The host's checks answer at once (400, or 409 when the data moved on);
    // the closing itself runs as a job and reports its progress.
    Change(server, "/api/close", [this](const Fields& f, httplib::Response& res) {
      bo::ClosingRequest request = ReadClosingRequest(f);
      workers_.Run([&](bo::Session& s) { bo::PlanClosing(s, request); });
      int64_t job = StartJob("close", [request](bo::Session& s, automation::DispatchPtr events) {
        return Close(s, request, std::move(events));
      });
      Answer(res, 202, Json{{"job", job}});
    });
    Change(server, "/api/cancel", [this](const Fields& f, httplib::Response& res) {
      std::string ids = ReadIds(f, 1000);
      std::string reason = f("reason").value_or("");
      if (reason.size() > 500) throw bo::Refusal("reason", "at most 500 bytes");
      workers_.Run([&](bo::Session& s) { bo::CheckCancel(s, ids, reason); });
      int64_t job = StartJob("cancel", [ids, reason](bo::Session& s, automation::DispatchPtr events) {
        return Cancel(s, ids, reason, std::move(events));
      });
      Answer(res, 202, Json{{"job", job}});
    });
    server.Get(R"(/api/jobs/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
      try {
        auto job = jobs_.Find(ReadId("job", req.matches[1]));
        if (!job) return Refuse(res, 404, "no such job");
        Answer(res, 200, job->ToJson());
      } catch (const bo::Refusal& e) {
        Refuse(res, 400, e.message);
      }
    });
    // Progress as server-sent events: one event per change, the last when the job is done.
    server.Get(R"(/api/jobs/([^/]+)/events)", [this](const httplib::Request& req, httplib::Response& res) {
      int64_t id = 0;
      try {
        id = ReadId("job", req.matches[1]);
      } catch (const bo::Refusal& e) {
        return Refuse(res, 400, e.message);
      }
      if (!jobs_.Find(id)) return Refuse(res, 404, "no such job");
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
  using ChangeBody = std::function<void(const Fields&, httplib::Response&)>;
  using JobBody = std::function<Json(bo::Session&, automation::DispatchPtr)>;

  void Read(httplib::Server& server, const std::string& pattern, ReadBody body) {
    server.Get(pattern, [this, body](const httplib::Request& req, httplib::Response& res) {
      Fields fields = [&req](const std::string& name) -> std::optional<std::string> {
        if (name == "$1") return req.matches.size() > 1 ? std::optional<std::string>(req.matches[1]) : std::nullopt;
        if (!req.has_param(name.c_str())) return std::nullopt;
        return req.get_param_value(name.c_str());
      };
      Guard(res, [&] {
        Json out;
        workers_.Run([&](bo::Session& s) { out = body(s, fields); });
        Answer(res, 200, out);
      });
    });
  }

  void Change(httplib::Server& server, const std::string& pattern, ChangeBody body) {
    server.Post(pattern, [this, body](const httplib::Request& req, httplib::Response& res) {
      if (!SameToken(req.get_header_value("X-Dialog-Token"), options_.token))
        return Refuse(res, 403, "missing or wrong session token (X-Dialog-Token)");
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return Refuse(res, 415, "the body must be application/json");
      Guard(res, [&] { body(JsonFields(req.body), res); });
    });
  }

  template <class F>
  void Guard(httplib::Response& res, F&& f) {
    try {
      f();
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

  int64_t StartJob(const std::string& kind, JobBody body) {
    int64_t id = jobs_.Start(kind);
    workers_.Post([this, id, body](bo::Session* session, const std::string& error) {
      Json result;
      if (!session) {
        result = Json{{"ok", false}, {"message", error}};
      } else {
        auto events = std::make_shared<hostlib::EventsSwitch>(jobs_.DisplayFor(id));
        result = body(*session, events);
      }
      jobs_.Finish(id, std::move(result));
    });
    return id;
  }

  ServeOptions options_;
  AllowedHosts allowed_;
  JobRegistry jobs_;
  HostWorkers workers_;
};
}  // namespace

int Serve(const ServeOptions& given) {
  ServeOptions options = given;
  try {
    // Judged by what the address resolves to: a name for 0.0.0.0 is not loopback.
    if (!ResolvesToLoopbackOnly(options.bind) && (!options.bind_given || options.token.empty()))
      throw bo::Refusal("", "--bind " + options.bind + ": an address that is not loopback only needs --token");
    for (const std::string& url : options.public_urls) {
      AllowedHosts check;
      if (!check.AddPublicUrl(url)) throw bo::Refusal("", "--public-url: expected http(s)://name[:port], not " + url);
    }
    if (!options.token.empty() && options.token.size() < kMinTokenLength)
      throw bo::Refusal("", "--token: at least " + std::to_string(kMinTokenLength) + " characters");
    for (char c : options.token)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
        throw bo::Refusal("", "--token: letters, digits, - and _ only");
    if (options.port < 0 || options.port > 65535) throw bo::Refusal("", "--port: 0 to 65535");
    // Checks the database and registers the libraries once, before the workers start.
    bo::Session check(bo::SessionOptions{options.db, options.user_id, options.app_type});
  } catch (const bo::Refusal& e) {
    std::string field = e.field == "user" ? "--user: " : e.field == "db" ? "--db: " : "";
    std::fprintf(stderr, "dailybalance: %s%s\n", field.c_str(), e.message.c_str());
    return 2;
  } catch (const automation::AutomationError& e) {
    std::fprintf(stderr, "dailybalance: %s\n", e.description().c_str());
    return 1;
  }
  if (options.token.empty()) options.token = NewToken();

  // SIGINT and SIGTERM are taken by one thread that stops the server.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  httplib::Server server;
  DialogServer dialog(options);
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
  dialog.allowed().Serve(options.bind, port, ResolvesToLoopbackOnly(options.bind));
  for (const std::string& url : options.public_urls) dialog.allowed().AddPublicUrl(url);
  std::string host = options.bind.find(':') != std::string::npos ? "[" + options.bind + "]" : options.bind;
  std::printf("Closing dialog: http://%s:%d/#token=%s\ntoken %s\n", host.c_str(), port, options.token.c_str(),
              options.token.c_str());
  std::fflush(stdout);

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stop_signals, &signal);
    server.stop();
  });
  server.listen_after_bind();
  // A stop that did not come from a signal still has to release the waiting thread.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}

}  // namespace tovan::web
