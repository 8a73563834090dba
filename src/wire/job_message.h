// Building the messages a client sends: requests and the job messages a
// print job is sent as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "wire/wire_format.h"

namespace mossvane {

// Marker, command, 16-bit little-endian length, payload. Empty when the
// payload is longer than kMaxJobPayload: the server takes no longer message,
// and the length field could not even say it above 64 KiB.
std::vector<std::uint8_t> EncodeJobMessage(std::uint8_t command, const std::uint8_t* payload,
                                           std::size_t size);

std::vector<std::uint8_t> EncodeCreateJob(std::uint32_t jobNumber);

// Whether job information of this many UTF-16 characters, with its
// terminator, fits one END_JOB_CMD.
constexpr bool JobInformationFits(std::size_t characters) {
    return characters < kMaxJobPayload / 2;
}

// END_JOB_CMD with the job information text, UTF-16 little-endian with its
// terminator; empty when it does not fit (see JobInformationFits). The
// information may hold the identification number: the message is the only
// copy made, so wiping it leaves none behind.
std::vector<std::uint8_t> EncodeEndJob(std::u16string_view jobInformation);

// A text as the bytes of a request message: UTF-16 little-endian, terminated.
std::vector<std::uint8_t> EncodeRequest(std::u16string_view text);

}  // namespace mossvane
