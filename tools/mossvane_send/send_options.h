// The command line of mossvane-send.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/param_map.h"

namespace mossvane::send {

enum class SendCommand { Help, Request, GetInfo, Job };

struct SendOptions {
    SendCommand command = SendCommand::Help;
    std::u16string requestText;
    // Without one, the job gets a number unlikely to be any other job's.
    std::optional<std::uint32_t> jobNumber;
    ParamMap jobInformation;
    bool addEndOfJobMarker = false;
    std::u16string file;  // "-" reads standard input.
};

extern const char kUsage[];

// Fills options from the arguments after the program name; false with a
// message in error when they don't make sense.
bool ParseSendOptions(const std::vector<std::u16string>& arguments, SendOptions& options,
                      std::string& error);

}  // namespace mossvane::send
