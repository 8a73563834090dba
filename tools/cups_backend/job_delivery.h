// The backend's conversation with the job user's server, done as that user:
// connecting (and checking who answers), asking for the number, sending
// the job and reading how the server ended the connection. Everything here
// is in the hands of the job's owner (their server may refuse, close,
// stall or be missing), so each outcome ends only this job: it is held,
// tried again later or cancelled, never the queue stopped.
#pragma once

#include <string>

#include "backend_arguments.h"
#include "client/job_stream.h"
#include "params/param_map.h"
#include "user_access.h"

namespace mossvane::cups {

struct Job {
    JobArguments arguments;
    DeviceOptions device;
    UserRecord user;
    std::string runtimeFolder;
    std::string socketPath;
};

// pin=ask: asks the user's server for the number (its dialog on the user's
// display) and puts it into the information as PhoneNumber. A backend
// status: kBackendOk when the number is there.
int AskForNumber(const Job& job, ParamMap& information);

// Sends the job and waits for the server's end of the connection. Only an
// orderly end after the whole job is kBackendOk.
int SendTheJob(const Job& job, client::InputSource& input, const ParamMap& information);

}  // namespace mossvane::cups
