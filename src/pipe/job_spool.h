// The job commands of one connection: a print job arrives as CREATE_JOB_CMD,
// any number of WRITE_JOB_CMD and END_JOB_CMD, and is stored as a job file
// with an information file beside it once it is complete.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pipe/pipe_constants.h"
#include "platform/spool_files.h"

namespace mossvane {

// Receives the complete job messages of one connection. Each handler returns
// whether the connection goes on. The job file is closed when the spool goes
// away, so a connection that ends early leaves its job without information.
class JobSpool {
  public:
    // Tells the user that a job could not be stored; waits until it is seen.
    using WarningFunction = void (*)();

    JobSpool();
    explicit JobSpool(WarningFunction showWarning) : m_showWarning(showWarning) {}

    bool Dispatch(std::uint8_t command, const std::uint8_t* payload, std::size_t size);

    // Whether the connection sent job messages whose job was not stored
    // with both its files. Such a connection must not end in a way its
    // client can take for a stored job.
    bool HoldsUnstoredJob() const { return m_jobBegun && !m_jobStored; }

  private:
    bool OnCreateJob(const std::uint8_t* payload, std::size_t size);
    bool OnWriteJob(const std::uint8_t* payload, std::size_t size);
    bool OnEndJob(const std::uint8_t* payload, std::size_t size);
    void WatchForEndOfJob(const std::uint8_t* payload, std::size_t size);
    // Flushes and closes the job file; false (after the job warning) when
    // the job is not safely on disk and must get no information file.
    bool CompleteJobFile();
    bool WriteInformationFile(const std::uint8_t* payload, std::size_t length);

    WarningFunction m_showWarning;
    platform::JobFile m_jobFile;
    std::u16string m_jobFilePath;
    bool bCreateJob = false;
    // Set once the end-of-job marker has gone by in the print data.
    bool bWriteEnd = false;
    // The last bytes of the latest piece longer than the marker, so that a
    // marker split over two pieces is found.
    std::array<std::uint8_t, kEndOfJobMarkerSize> m_tail{};
    bool m_jobBegun = false;
    bool m_jobStored = false;
};

}  // namespace mossvane
