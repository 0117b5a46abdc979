// The dialog's services: each turns a back-office workflow's answer into
// the JSON the page reads (the listings' shapes are backoffice/json_forms.h,
// the same as the command line's --json).  Inputs arrive checked
// (web/dialog_inputs.h).
//
// Errors: backoffice::Refusal and AutomationError pass through to the
// server, which answers them; the closing and the cancellation jobs answer
// their failures in their result instead, since they run after the answer.
//
// Thread-safety: the calling thread's session (a HostWorkers thread).
#pragma once

#include <nlohmann/json.hpp>

#include "backoffice/cancellation.h"
#include "backoffice/closing.h"
#include "backoffice/session.h"

namespace tovan::web {

using Json = nlohmann::ordered_json;

Json Settings(backoffice::Session& session);
Json Shops(backoffice::Session& session);
Json Customers(backoffice::Session& session);
Json Customer(backoffice::Session& session, int32_t id);
Json Accounts(backoffice::Session& session);

// The closing and the cancellation, reporting progress through `events`.
// A closing whose commit is in doubt answers "unknown": true beside "ok":
// false; a cancellation lists such days under "unknown".
Json Close(backoffice::Session& session, const backoffice::ClosingRequest& request, automation::DispatchPtr events);
Json Cancel(backoffice::Session& session, const std::string& ids, const std::string& reason,
           automation::DispatchPtr events);

// A refusal as the dialog shows it: the message next to `field`'s control,
// with its wording ("key", "values") and the database's causes ("causes")
// when it has them.
Json RefusalJson(const backoffice::Refusal& refusal);
// Adds "key" and "values" for the dialog's catalog; nothing for no wording.
void AddWording(Json& answer, const backoffice::Wording& wording);

}  // namespace tovan::web
