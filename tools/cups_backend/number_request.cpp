#include "number_request.h"

#include <array>
#include <cstdint>

#include "params/param_map.h"
#include "params/param_text.h"
#include "pipe/job_message.h"
#include "pipe/pipe_constants.h"
#include "pipe_client.h"
#include "platform/wipe.h"

namespace mossvane::cups {

namespace {

constexpr std::size_t kMinDigits = 4;
constexpr std::size_t kMaxDigits = 20;

// The dialog only ever accepts this; anything else did not come from it.
bool IsNumber(std::u16string_view text) {
    if (text.size() < kMinDigits || text.size() > kMaxDigits) return false;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

void WipeValues(ParamMap& set) {
    for (auto& entry : set) platform::WipeText(entry.second);
    set.clear();
}

// The answer is complete at its first null character.
bool FindTerminator(const std::uint8_t* bytes, std::size_t size, std::size_t& units) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) {
            units = i / 2;
            return true;
        }
    }
    return false;
}

class WipedBuffer {
  public:
    ~WipedBuffer() { platform::WipeBytes(bytes.data(), bytes.size()); }
    std::array<std::uint8_t, kPipeBufferSize> bytes{};
};

}  // namespace

platform::ErrorCode RequestNumber(platform::PipeConnection& connection, std::u16string& answer) {
    platform::WipeText(answer);
    if (platform::ErrorCode error = send::WriteAll(connection, EncodeRequest(kGetInfoRequest))) {
        return error;
    }
    WipedBuffer received;
    std::size_t size = 0;
    std::size_t units = 0;
    while (!FindTerminator(received.bytes.data(), size, units)) {
        if (size == received.bytes.size()) return platform::kInvalidData;
        std::size_t got = 0;
        platform::ErrorCode error =
            connection.Read(received.bytes.data() + size, received.bytes.size() - size, got);
        if (error != platform::kSuccess) return error;
        size += got;
    }
    answer.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        answer += static_cast<char16_t>(received.bytes[2 * i] | (received.bytes[2 * i + 1] << 8));
    }
    return platform::kSuccess;
}

NumberAnswer ReadNumberAnswer(std::u16string_view answer, std::u16string& number) {
    platform::WipeText(number);
    ParamMap fields;
    ParseParamText(answer.data(), static_cast<std::uint32_t>(answer.size()), fields);
    NumberAnswer result = NumberAnswer::Unexpected;
    auto verdict = fields.find(std::u16string_view(u"RETURN"));
    auto digits = fields.find(std::u16string_view(kPhoneNumberKey));
    if (verdict != fields.end() && verdict->second == u"CANCEL") {
        result = NumberAnswer::Cancelled;
    } else if (verdict != fields.end() && verdict->second == u"OK" && digits != fields.end() &&
               IsNumber(digits->second)) {
        number = digits->second;
        result = NumberAnswer::Given;
    }
    WipeValues(fields);
    return result;
}

}  // namespace mossvane::cups
