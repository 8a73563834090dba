#include "job_password.h"

#include <cups/cups.h>

#include "platform/wipe.h"
#include "printer_capabilities.h"

namespace mossvane::cups::forward {

namespace {

// The digits as ASCII, wiped whatever way the hashing ends.
class AsciiDigits {
  public:
    ~AsciiDigits() { platform::WipeBytes(m_text.data(), m_text.size()); }
    bool Take(std::u16string_view digits) {
        if (digits.empty() || digits.size() > m_text.size()) return false;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            if (digits[i] < u'0' || digits[i] > u'9') return false;
            m_text[i] = static_cast<char>(digits[i]);
        }
        m_size = digits.size();
        return true;
    }
    const char* Data() const { return m_text.data(); }
    std::size_t Size() const { return m_size; }

  private:
    std::array<char, kLongestNumber> m_text{};
    std::size_t m_size = 0;
};

}  // namespace

JobPassword::~JobPassword() {
    platform::WipeBytes(m_bytes.data(), m_bytes.size());
}

bool JobPassword::Make(std::u16string_view digits, const std::string& encryption) {
    platform::WipeBytes(m_bytes.data(), m_bytes.size());
    m_size = 0;
    AsciiDigits ascii;
    if (!ascii.Take(digits)) return false;
    if (encryption == "none") {
        std::copy(ascii.Data(), ascii.Data() + ascii.Size(), m_bytes.begin());
        m_size = ascii.Size();
        return true;
    }
    ssize_t hashed = cupsHashData(encryption.c_str(), ascii.Data(), ascii.Size(), m_bytes.data(),
                                  m_bytes.size());
    if (hashed <= 0) return false;
    m_size = static_cast<std::size_t>(hashed);
    return true;
}

}  // namespace mossvane::cups::forward
