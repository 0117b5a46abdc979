// The subcommands of `dailybalance`, each a function from parsed options to
// an exit code: 0 success, 1 the operation answered a failure, 2 bad usage
// or bad input (a one-line message on stderr names what is wrong).
#pragma once

#include <string>
#include <vector>

namespace tovan::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;

// Prints "dailybalance: <message>" on stderr as one line.
void PrintError(const std::string& message);

// Registers (or unregisters) the component and the reference host's
// library; answers the empty text or what went wrong.
std::string RegisterLibraries(bool unregister);
int RunRegister(bool unregister, bool json);

struct InvokeOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;
  int app_type = 2;
  std::string prog_id;
  std::string member;
  std::vector<std::string> args;  // JSON texts
};
int RunInvoke(const InvokeOptions& options);

int RunDemo(bool json);

}  // namespace tovan::cli
