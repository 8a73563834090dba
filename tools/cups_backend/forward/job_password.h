// The value that goes into Create-Job's job-password: the number's digits,
// or their hash under the chosen job-password-encryption. It lives only in
// this object's own buffer, which is wiped when the object goes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane::cups::forward {

class JobPassword {
  public:
    JobPassword() = default;
    ~JobPassword();
    JobPassword(const JobPassword&) = delete;
    JobPassword& operator=(const JobPassword&) = delete;

    // False when digits holds anything but 1 to 20 ASCII digits, or the
    // encryption is neither "none" nor a hash the client library knows.
    bool Make(std::u16string_view digits, const std::string& encryption);

    const std::uint8_t* Data() const { return m_bytes.data(); }
    std::size_t Size() const { return m_size; }

  private:
    // Large enough for the longest hash, SHA-512.
    std::array<std::uint8_t, 64> m_bytes{};
    std::size_t m_size = 0;
};

}  // namespace mossvane::cups::forward
