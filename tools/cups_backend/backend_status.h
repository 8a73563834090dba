// The exit codes by which a backend tells CUPS what became of the job.
#pragma once

namespace mossvane::cups {

enum BackendStatus : int {
    kBackendOk = 0,      // The job was handed over.
    kBackendFailed = 1,  // The printer's error policy decides (stop-printer disables the queue).
    kBackendHold = 3,    // The job is held until someone releases or cancels it.
    kBackendStop = 4,    // The queue stops; the job stays.
    kBackendCancel = 5,  // The job is cancelled.
    kBackendRetry = 6,   // The job is held and tried again later (JobRetryInterval, JobRetryLimit).
};

}  // namespace mossvane::cups
