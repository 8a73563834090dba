// CUPS cancels a job by sending its backend SIGTERM. The backend must then
// end at once, in the middle of whatever it sends: the server sees the
// connection break before the job's end message and keeps nothing, where a
// backend that finished first would hand over a job nobody wants any more.
#pragma once

namespace mossvane::cups {

// Gives SIGTERM its default action (the process ends), whatever the
// parent left ignored or blocked.
void EndAtOnceOnTermination();

}  // namespace mossvane::cups
