// Overwrites text that held an identification number before its memory is
// given back, so the number does not linger in freed heap blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mossvane::platform {

// Zeroes `size` bytes at `data` in a way the compiler may not drop.
void WipeBytes(void* data, std::size_t size);

// Zeroes the whole buffer of `text` (its full capacity, so characters left
// behind by earlier shortening go too) and leaves it empty.
void WipeText(std::u16string& text);
void WipeText(std::string& text);

// Zeroes the whole buffer of `bytes` (its full capacity) and empties it.
void WipeBuffer(std::vector<std::uint8_t>& bytes);

// Wipes every text, then empties the list.
void WipeTexts(std::vector<std::u16string>& texts);

// Runs `wipe` when the scope is left, however it is left: a return, an
// exception, or the unwinding of a cancelled thread.
template <typename Wipe>
class WipeOnExit {
  public:
    explicit WipeOnExit(Wipe wipe) : m_wipe(std::move(wipe)) {}
    ~WipeOnExit() { m_wipe(); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

  private:
    Wipe m_wipe;
};

}  // namespace mossvane::platform
