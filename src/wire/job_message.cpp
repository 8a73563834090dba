#include "wire/job_message.h"

#include <algorithm>

#include "wire/wire_format.h"

namespace mossvane {

std::vector<std::uint8_t> EncodeJobMessage(std::uint8_t command, const std::uint8_t* payload,
                                           std::size_t size) {
    // Sized once and filled in place: growing a four-byte vector by the
    // payload trips a false out-of-bounds warning of GCC 12 at -O3.
    std::vector<std::uint8_t> message(kJobHeaderSize + size);
    message[0] = kJobMarker;
    message[1] = command;
    message[2] = static_cast<std::uint8_t>(size & 0xFF);
    message[3] = static_cast<std::uint8_t>((size >> 8) & 0xFF);
    if (size > 0) std::copy(payload, payload + size, message.begin() + kJobHeaderSize);
    return message;
}

std::vector<std::uint8_t> EncodeCreateJob(std::uint32_t jobNumber) {
    const std::uint8_t number[] = {
        static_cast<std::uint8_t>(jobNumber), static_cast<std::uint8_t>(jobNumber >> 8),
        static_cast<std::uint8_t>(jobNumber >> 16), static_cast<std::uint8_t>(jobNumber >> 24)};
    return EncodeJobMessage(CREATE_JOB_CMD, number, sizeof number);
}

std::vector<std::uint8_t> EncodeRequest(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::vector<std::uint8_t> EncodeEndJob(std::u16string_view jobInformation) {
    std::vector<std::uint8_t> text = EncodeRequest(jobInformation);
    return EncodeJobMessage(END_JOB_CMD, text.data(), text.size());
}

}  // namespace mossvane
