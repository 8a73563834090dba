// Building the messages a client sends: requests and the job messages a
// print job is sent as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mossvane {

// Marker, command, 16-bit little-endian length, payload. The payload must
// not be longer than kMaxJobPayload.
std::vector<std::uint8_t> EncodeJobMessage(std::uint8_t command, const std::uint8_t* payload,
                                           std::size_t size);

std::vector<std::uint8_t> EncodeCreateJob(std::uint32_t jobNumber);

// The job information text, UTF-16 little-endian with its terminator.
std::vector<std::uint8_t> EncodeEndJob(std::u16string_view jobInformation);

// A text as the bytes of a request message: UTF-16 little-endian, terminated.
std::vector<std::uint8_t> EncodeRequest(std::u16string_view text);

}  // namespace mossvane
