// Runs the dailybalance binary with a registry in `dir`, capturing its
// exit code, standard output and standard error.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tovan::testing {

struct CliRun {
  int exit_code;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// `input`: a file for standard input; none: an empty one.
inline CliRun RunDailybalance(const TempDir& dir, const std::vector<std::string>& args, const std::string& input = "") {
  std::string command = "DAILYBALANCE_REGISTRY=" + ShellQuote(dir.File("registry.json")) + " " + DAILYBALANCE_CLI;
  for (const auto& a : args) command += " " + ShellQuote(a);
  command += " <" + (input.empty() ? std::string("/dev/null") : ShellQuote(input));
  command += " 2>" + ShellQuote(dir.File("stderr"));
  CliRun run{};
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  int status = ::pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FILE* err = std::fopen(dir.File("stderr").c_str(), "r")) {
    while ((n = std::fread(buf.data(), 1, buf.size(), err)) > 0) run.err.append(buf.data(), n);
    std::fclose(err);
  }
  return run;
}

}  // namespace tovan::testing
