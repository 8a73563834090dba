// Character stepping and case on POSIX, modelled on what Windows does: a
// character is a code point with the combining marks that follow it, and
// upper case comes from the C.UTF-8 locale's table, never the user's locale
// (the program does not call setlocale, so towupper alone would only know
// ASCII).
#include "platform/characters.h"

#include <locale.h>
#include <wctype.h>

namespace mossvane::platform {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The blocks of combining diacritical marks.
bool IsCombiningMark(char16_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

locale_t CaseLocale() {
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return made != static_cast<locale_t>(0)
                   ? made
                   : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return locale;
}

}  // namespace

const char16_t* NextCharacter(const char16_t* text) {
    if (*text == u'\0') return text;
    const char16_t* next = text + 1;
    if (IsHighSurrogate(*text) && IsLowSurrogate(*next)) ++next;
    while (IsCombiningMark(*next)) ++next;
    return next;
}

char16_t UpperCaseCharacter(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) return c;
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(0)) return c;
    const wint_t upper = towupper_l(static_cast<wint_t>(c), locale);
    // A single code unit stays a single code unit.
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

}  // namespace mossvane::platform
