#include "ui/number_input.h"

#include <algorithm>

namespace mossvane {

bool FilterDigits(std::u16string& text, std::u16string_view allowed) {
    if (text.size() > kMaxNumberDigits) {
        text.clear();
        return true;
    }
    const auto isRejected = [allowed](char16_t c) {
        return allowed.find(c) == std::u16string_view::npos;
    };
    const auto kept = std::remove_if(text.begin(), text.end(), isRejected);
    if (kept == text.end()) return false;
    // Zero the tail before cutting it off, so no rejected character of a
    // number lingers in the buffer.
    std::fill(kept, text.end(), u'\0');
    text.erase(kept, text.end());
    return true;
}

NumberCheck CheckNumber(std::u16string_view number) {
    if (number.empty()) return NumberCheck::Empty;
    if (number.size() < kMinNumberDigits) return NumberCheck::TooShort;
    return NumberCheck::Accepted;
}

bool IsWellFormedNumber(std::u16string_view number) {
    if (number.size() < kMinNumberDigits || number.size() > kMaxNumberDigits) return false;
    return number.find_first_not_of(kNumberChars) == std::u16string_view::npos;
}

}  // namespace mossvane
