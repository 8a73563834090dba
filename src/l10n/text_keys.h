// The texts the program shows, each looked up by its key with the text that
// is shown when the localization file has no entry for it.
#pragma once

#include <array>

namespace mossvane {

struct LocalizedText {
    const char16_t* key;
    const char16_t* defaultText;
};

// Identification-number dialog. The range label's "{1}" and "{2}" take the
// shortest and longest number; the too-short message's "%d" the shortest.
inline constexpr LocalizedText kTextDialogCaption{u"PI/Personal Identification Number",
                                                  u"Personal Identification Number"};
inline constexpr LocalizedText kTextRangeLabel{u"PI/({1} - {2} Digit)", u"(4 - 20 Digit)"};
inline constexpr LocalizedText kTextOkButton{u"PI/OK", u"OK"};
inline constexpr LocalizedText kTextCancelButton{u"PI/Cancel", u"Cancel"};
inline constexpr LocalizedText kTextEmptyNumberCaption{u"PI/Empty Number", u"Empty Number"};
inline constexpr LocalizedText kTextEmptyNumberMessage{
    u"PI/Identification number is empty. Input numbers.",
    u"Identification number is empty. Input numbers."};
inline constexpr LocalizedText kTextLackNumberCaption{u"PI/Lack Number", u"Lack Number"};
inline constexpr LocalizedText kTextLackNumberFormat{
    u"PI/Identification number should be inputted more than %d digits number.",
    u"Identification number should be inputted more than %d digits number."};

// The message shown when a print job file can't be created. A backslash,
// "r", backslash, "n" in the text stands for a line break.
inline constexpr LocalizedText kTextWarningCaption{u"SFPI/Warning", u"경고"};
inline constexpr LocalizedText kTextFailToCreatePrintJob{
    u"SFPI/FailToCreatePrintJob",
    u"인쇄작업 생성을 실패했습니다. 공유 폴더에 접근이 가능한지 확인 후 사용하시기 바랍니다."};

inline constexpr std::array<LocalizedText, 10> kAllLocalizedTexts{
    kTextDialogCaption,       kTextRangeLabel,         kTextOkButton,
    kTextCancelButton,        kTextEmptyNumberCaption, kTextEmptyNumberMessage,
    kTextLackNumberCaption,   kTextLackNumberFormat,   kTextWarningCaption,
    kTextFailToCreatePrintJob};

}  // namespace mossvane
