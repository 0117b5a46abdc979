// What every command that works on a host database shares: the progress
// display its output asks for, and one place that turns the back office's
// answers into exit codes (a refusal 2, an operation's failure or an error
// of the platform 1, a commit in doubt 3), so that --json never changes the code.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "backoffice/refusal.h"
#include "backoffice/session.h"
#include "host/events_switch.h"

namespace tovan::cli {

// A progress bar on a terminal (stderr), or JSON lines on stdout under --json.
std::shared_ptr<hostlib::EventsSwitch> ProgressDisplay(bool json);

// A password: one line of standard input, or on a terminal a prompt that
// does not echo (asked twice when `twice`, for a new one).  Raises Refusal
// (`field`) when there is none, or the two differ.
std::string ReadPassword(const std::string& field, bool twice);

// Runs `body`; a Refusal is printed as one line (exit 2), an AutomationError
// too (exit 1), an OutcomeUnknown with its causes (exit 3).  `failed` prints
// an OperationFailed (exit 1).
int RunCommand(const std::function<int()>& body,
               const std::function<void(const backoffice::OperationFailed&)>& failed = nullptr);

}  // namespace tovan::cli
