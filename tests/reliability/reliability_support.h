// Tools of the reliability tests: whole-database snapshots, a progress
// display that fails on demand, a quiet stdout for in-process commands, and
// child processes of the dailybalance binary with an environment of their own.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "host/events_switch.h"
#include "platform/automation/error.h"
#include "platform/automation/text.h"
#include "platform/data/open.h"
#include "platform/data/connection.h"
#include "tests/support/test_backend.h"

extern char** environ;

namespace tovan::testing {

// Every row of every table (the engine's own bookkeeping included), each
// table's rows ordered by all their columns, as text: equal snapshots mean
// equal databases.  Read on a connection of its own, so it shows what is
// committed.
inline std::string Snapshot(const std::string& path) {
  auto connection = TestConnection(path);
  auto& db = connection->backend();
  // One read transaction: a unit committing while the tables are read one by
  // one must not show half of itself.
  db.BeginTransaction(data::TransactionAccess::kReadOnly);
  // The connection is kept: a read that raises must not leave it in this transaction.
  struct EndRead {
    data::ConnectionBackend& db;
    ~EndRead() {
      if (db.InTransaction()) db.RollbackTransaction();
    }
  } end_read{db};
  // On a server the sequences behind numbers are left out: they never go
  // back, by design, whatever happens to the unit that drew from them.
  auto tables = db.ExecuteNative(
      db.Engine() == "postgresql"
          ? "SELECT table_name::text FROM information_schema.tables WHERE table_schema = current_schema() "
            "AND table_type = 'BASE TABLE' ORDER BY 1"
          : "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_stat%' ORDER BY name",
      {});
  std::string out;
  for (size_t t = 0; t < tables.RowCount(); ++t) {
    std::string name = automation::CStr(tables.At(t, 0));
    // The audit trail records refusals too, each in a unit of its own; what
    // it holds is the audit tests' business, not a closing's outcome.
    if (automation::EqualsNoCase(name, "t_AuditLog")) continue;
    auto shape = db.ExecuteNative("SELECT * FROM \"" + name + "\" LIMIT 0", {});
    std::string order;
    for (size_t c = 1; c <= shape.columns.size(); ++c) order += (c > 1 ? "," : "") + std::to_string(c);
    // Nor the counter of its row ids.
    const std::string skip_audit = automation::EqualsNoCase(name, "sqlite_sequence") ? " WHERE name <> 't_AuditLog'" : "";
    auto rows = db.ExecuteNative("SELECT * FROM \"" + name + "\"" + skip_audit + " ORDER BY " + order, {});
    out += "== " + name + "\n";
    for (size_t r = 0; r < rows.RowCount(); ++r) {
      for (size_t c = 0; c < rows.columns.size(); ++c) {
        // When a closing ran is the clock's, not what it decided.
        if (automation::EqualsNoCase(rows.columns[c].name, "FCloseTime")) continue;
        const auto& v = rows.At(r, c);
        out += (v.IsNull() ? std::string("NULL") : automation::CStr(v)) + "|";
      }
      out += "\n";
    }
  }
  return out;
}

// The first table whose rows differ, for a readable failure message.
inline std::string FirstDifference(const std::string& expected, const std::string& actual) {
  auto tables = [](const std::string& snapshot) {
    std::map<std::string, std::string> by_name;
    std::istringstream in(snapshot);
    std::string line, name;
    while (std::getline(in, line)) {
      if (line.rfind("== ", 0) == 0) {
        name = line.substr(3);
        by_name[name];
      } else {
        by_name[name] += line + "\n";
      }
    }
    return by_name;
  };
  auto a = tables(expected), b = tables(actual);
  for (const auto& [name, rows] : a)
    if (b[name] != rows) return "table " + name + " differs";
  return expected == actual ? "no difference" : "the set of tables differs";
}

// The first few rows that one snapshot holds and the other does not.
inline std::string DifferingRows(const std::string& expected, const std::string& actual) {
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line, table;
    while (std::getline(in, line)) {
      if (line.rfind("== ", 0) == 0) table = line;
      else out.push_back(table + " " + line);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  std::vector<std::string> a = lines(expected), b = lines(actual), only_a, only_b;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only_a));
  std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(only_b));
  std::string out;
  for (size_t i = 0; i < only_a.size() && i < 3; ++i) out += "- " + only_a[i] + "\n";
  for (size_t i = 0; i < only_b.size() && i < 3; ++i) out += "+ " + only_b[i] + "\n";
  return out + std::to_string(only_a.size()) + " rows gone, " + std::to_string(only_b.size()) + " rows new";
}

// `snapshot` without the rows of `table`, and those rows one by one.
inline std::pair<std::string, std::vector<std::string>> SplitTable(const std::string& snapshot,
                                                                   const std::string& table) {
  std::pair<std::string, std::vector<std::string>> out;
  std::istringstream in(snapshot);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.rfind("== ", 0) == 0) inside = line.substr(3) == table;
    if (inside && line.rfind("== ", 0) != 0) {
      out.second.push_back(line);
    } else {
      out.first += line + "\n";
    }
  }
  return out;
}

inline std::string IntegrityCheck(const std::string& path) {
  auto connection = TestConnection(path);
  // A server keeps its own files whole; that it answers is what there is to check.
  if (connection->backend().Engine() == "postgresql")
    return automation::CStr(connection->backend().ExecuteNative("SELECT 'ok'", {}).At(0, 0));
  auto rows = connection->backend().ExecuteNative("PRAGMA integrity_check", {});
  std::string out;
  for (size_t r = 0; r < rows.RowCount(); ++r) out += automation::CStr(rows.At(r, 0));
  return out;
}

// Puts the database `from` in place of `to`: files with their journals
// removed.  On a server a copy is a schema of the same database, named for
// the file path the test gave it, holding every table and the sequences'
// positions; restoring empties the tables and fills them from the copy, so
// connections that are open stay usable, as they do on the embedded engine.
inline void CopyDatabase(const std::string& from, const std::string& to) {
  if (OnServer()) {
    const bool saving = data::IsServerDataSource(from);
    const std::string& live = saving ? from : to;
    const std::string copy = "copy_" + std::to_string(std::hash<std::string>{}(saving ? to : from) % 1000000000000ull);
    auto connection = TestConnection(live);
    const std::string tables =
        "SELECT c.relname AS t FROM pg_class c WHERE c.relnamespace = 'public'::regnamespace AND c.relkind = 'r'";
    const std::string save =
        "DROP SCHEMA IF EXISTS " + copy + " CASCADE; CREATE SCHEMA " + copy + "; DO $$ DECLARE r record; BEGIN FOR r IN " +
        tables + " LOOP EXECUTE format('CREATE TABLE " + copy + ".%I AS TABLE public.%I', r.t, r.t); END LOOP; END $$; " +
        "CREATE TABLE " + copy + ".seqs AS SELECT sequencename, last_value FROM pg_sequences WHERE schemaname = 'public';";
    // Truncated, not deleted: the tables come back with their rows stored in
    // the same order, so unordered reads answer as they did in the copy.
    const std::string restore =
        "DO $$ DECLARE r record; BEGIN FOR r IN " + tables +
        " LOOP EXECUTE format('TRUNCATE public.%I', r.t); EXECUTE format('INSERT INTO public.%I OVERRIDING SYSTEM VALUE "
        "SELECT * FROM " + copy + ".%I', r.t, r.t); END LOOP; FOR r IN SELECT * FROM " + copy +
        ".seqs LOOP IF r.last_value IS NULL THEN EXECUTE format('ALTER SEQUENCE public.%I RESTART', r.sequencename); "
        "ELSE PERFORM setval(format('public.%I', r.sequencename), r.last_value); END IF; END LOOP; END $$;";
    connection->backend().ExecuteScript(saving ? save : restore);
    return;
  }
  for (const char* suffix : {"-wal", "-shm", "-journal"}) std::filesystem::remove(to + suffix);
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

// A progress display that raises on its `fail_at`th call (1-based; 0 never),
// counting every call: the host's display failing in the middle of a run.
class FailingEventsSwitch final : public automation::DescribedObject {
 public:
  explicit FailingEventsSwitch(int fail_at) : DescribedObject(Table()), fail_at_(fail_at) {}
  int calls() const { return calls_; }

 private:
  static automation::Variant Call(automation::Dispatch& d, std::span<automation::Variant>) {
    auto& self = automation::Self<FailingEventsSwitch>(d);
    if (++self.calls_ == self.fail_at_)
      throw automation::AutomationError(automation::vberr::kObjectNotSet, "TovanCClient.EventsSwitch",
                                        "the progress display is gone");
    return automation::Variant();
  }
  static const automation::DispatchTable& Table() {
    static const automation::DispatchTable table = [] {
      automation::DispatchTable t(hostlib::EventsSwitch::Describe(), "EventsSwitch", "TovanCClient.EventsSwitch");
      for (const auto& member : hostlib::EventsSwitch::Describe().members) t.Bind(member.name, Call);
      return t;
    }();
    return table;
  }
  int fail_at_;
  int calls_ = 0;
};

// Sends this process's stdout and stderr to /dev/null for its lifetime (an
// in-process command prints its report; hundreds of runs would bury the log).
class QuietOutput {
 public:
  QuietOutput() {
    Flush();
    out_ = ::dup(1);
    err_ = ::dup(2);
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::close(null);
  }
  ~QuietOutput() {
    Flush();
    ::dup2(out_, 1);
    ::dup2(err_, 2);
    ::close(out_);
    ::close(err_);
  }
  QuietOutput(const QuietOutput&) = delete;
  QuietOutput& operator=(const QuietOutput&) = delete;

 private:
  static void Flush() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
  }
  int out_, err_;
};

// The dailybalance binary as a child process, its stdout and stderr in
// files, its environment this process's plus `env` ("NAME=value" replaces).
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out_file,
        const std::string& err_file) {
    std::vector<std::string> argv_text{DAILYBALANCE_CLI};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry(*e);
      std::string name = entry.substr(0, entry.find('='));
      bool replaced =
          name == "DAILYBALANCE_TRACE" || name == "DAILYBALANCE_FAULT" || name == "DAILYBALANCE_PLUGIN_FAULT";
      for (const auto& given : env) replaced = replaced || given.substr(0, given.find('=')) == name;
      if (!replaced) env_text.push_back(entry);
    }
    env_text.insert(env_text.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  void Kill() const { ::kill(pid_, SIGKILL); }
  // Whether the process has not ended yet (it is not reaped).
  bool Running() const {
    siginfo_t info{};
    return !waited_ && ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  // The exit code, or minus the signal that ended the process.
  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
  }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tovan::testing
