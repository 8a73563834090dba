#include "wire/job_message.h"

#include <algorithm>

namespace mossvane {

namespace {

// A message of the payload's size with its header filled in; the payload
// bytes are left for the caller. Sized once and filled in place: growing a
// four-byte vector by the payload trips a false out-of-bounds warning of
// GCC 12 at -O3, and every reallocation would leave a copy behind.
std::vector<std::uint8_t> MessageWithHeader(std::uint8_t command, std::size_t size) {
    std::vector<std::uint8_t> message(kJobHeaderSize + size);
    message[0] = kJobMarker;
    message[1] = command;
    message[2] = static_cast<std::uint8_t>(size & 0xFF);
    message[3] = static_cast<std::uint8_t>((size >> 8) & 0xFF);
    return message;
}

// The text and its terminator, little-endian, from `at` on; the bytes are
// already there.
void PutText(std::u16string_view text, std::vector<std::uint8_t>& bytes, std::size_t at) {
    for (char16_t c : text) {
        bytes[at++] = static_cast<std::uint8_t>(c & 0xFF);
        bytes[at++] = static_cast<std::uint8_t>(c >> 8);
    }
    bytes[at++] = 0;
    bytes[at] = 0;
}

}  // namespace

std::vector<std::uint8_t> EncodeJobMessage(std::uint8_t command, const std::uint8_t* payload,
                                           std::size_t size) {
    if (size > kMaxJobPayload) return {};
    std::vector<std::uint8_t> message = MessageWithHeader(command, size);
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
    std::vector<std::uint8_t> bytes((text.size() + 1) * 2);
    PutText(text, bytes, 0);
    return bytes;
}

std::vector<std::uint8_t> EncodeEndJob(std::u16string_view jobInformation) {
    if (!JobInformationFits(jobInformation.size())) return {};
    std::vector<std::uint8_t> message =
        MessageWithHeader(END_JOB_CMD, (jobInformation.size() + 1) * 2);
    PutText(jobInformation, message, kJobHeaderSize);
    return message;
}

}  // namespace mossvane
