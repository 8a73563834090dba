#include "pipe/message_loop.h"

#include <memory>
#include <string>

#include "log/debug_print.h"
#include "pipe/pipe_constants.h"
#include "platform/debug_output.h"

namespace mossvane {

namespace {

void ReportReadFailure(platform::ErrorCode error) {
    if (error == platform::kBrokenPipe) {
        platform::WriteStandardOutput("InstanceThread: client disconnected.\n");
        platform::OutputDebugText(u"[PI]InstanceThread: ReadFile PIPE BROKEN exit.");
        return;
    }
    platform::WriteStandardOutput("InstanceThread ReadFile failed, GLE=" + std::to_string(error) +
                                  ".\n");
    platform::OutputDebugText(u"[PI]InstanceThread: ReadFile Error occurred.");
}

}  // namespace

// Until messages are interpreted, a connection reads and drops what its
// client sends until the client closes.
void RunMessageLoop(platform::PipeConnection& pipe) {
    auto buffer = std::make_unique<unsigned char[]>(kPipeBufferSize);
    for (;;) {
        std::size_t bytesRead = 0;
        platform::ErrorCode error = pipe.Read(buffer.get(), kPipeBufferSize, bytesRead);
        if (error != platform::kSuccess) {
            ReportReadFailure(error);
            return;
        }
    }
}

}  // namespace mossvane
