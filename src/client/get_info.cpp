#include "client/get_info.h"

#include "client/client_io.h"
#include "params/param_map.h"
#include "params/param_text.h"
#include "platform/wipe.h"

namespace mossvane::client {

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

// The answer as the parser reads it, with a line buffer that never grows (it
// is sized for the whole text before the first line) and is wiped when the
// parser asks past the last line: no part of the line that holds the number
// is left behind in freed memory.
class WipingReader : public MemReaderW {
  public:
    explicit WipingReader(std::u16string_view text)
        : MemReaderW(text.data(), static_cast<std::uint32_t>(text.size())), m_size(text.size()) {}

    bool ReadLine(std::u16string& line) override {
        line.reserve(m_size);
        if (MemReaderW::ReadLine(line)) return true;
        platform::WipeText(line);
        return false;
    }

  private:
    std::size_t m_size;
};

}  // namespace

platform::ErrorCode RequestNumber(platform::PipeConnection& connection, std::u16string& answer,
                                  const Deadline& deadline) {
    // The dialog may come to the front only with the asking process's leave;
    // without it the dialog still shows, so a refusal is no error.
    connection.AllowServerToTakeForeground();
    return ExchangeRequest(connection, kGetInfoRequest, answer, deadline);
}

NumberAnswer ReadNumberAnswer(std::u16string_view answer, std::u16string& number) {
    platform::WipeText(number);
    ParamMap fields;
    const platform::WipeOnExit wipeFields([&] { WipeValues(fields); });
    WipingReader reader(answer);
    ParseParams(reader, fields);
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
    return result;
}

}  // namespace mossvane::client
