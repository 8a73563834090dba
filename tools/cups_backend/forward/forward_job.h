// Secure release: a job that goes on to a network printer which holds it
// until its owner types the same number at the printer. It runs as the
// job's user, after the identity checks and the drop of root's rights. The
// printer is asked first whether it can hold a job at all, so a printer
// that can't stops the queue before anyone is asked for a number; then the
// user's own server asks for it; the number goes into Create-Job's
// job-password and nowhere else; the data follows straight from CUPS's
// input; one look at the job tells whether the printer holds it. The
// backend does not wait for the job to print.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "client/job_stream.h"
#include "forward_options.h"

namespace mossvane::cups::forward {

struct ForwardJobFacts {
    std::string userName;  // requesting-user-name: the job's user.
    std::string title;     // job-name
    std::uint32_t copies = 1;
    std::chrono::seconds dataTimeout{60};  // Each wait on the printer.
};

// Asks the job's user for the number: a BackendStatus, with the digits in
// number when it is kBackendOk. The caller's own copies are its to wipe.
using NumberQuestion = std::function<int(std::u16string& number)>;

// Forwards the job; the BackendStatus for CUPS. Progress and errors go to
// CUPS as INFO:, WARNING: and ERROR: lines; the number never does.
int ForwardJob(const ForwardOptions& options, const ForwardJobFacts& job,
               client::InputSource& input, const NumberQuestion& askForNumber);

}  // namespace mossvane::cups::forward
