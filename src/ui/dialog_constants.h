// Limits, ids and end codes of the identification-number dialog, named once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "res/resource.h"

namespace mossvane {

// The dialog template and its controls, as the resource script names them.
inline constexpr std::int32_t kPhoneNumberDialogId = IDD_PHONE_NUMBER;
inline constexpr int kNumberBoxId = IDC_NUMBER;
inline constexpr int kRangeLabelId = IDC_RANGE_LABEL;
// The program's icon, which the dialog shows in its caption and task switcher.
inline constexpr int kProgramIconId = IDI_MOSSVANE;

// An identification number is text of 4 to 20 decimal digits; a leading zero
// is part of it.
inline constexpr std::size_t kMinNumberDigits = 4;
inline constexpr std::size_t kMaxNumberDigits = 20;
inline constexpr char16_t kNumberChars[] = u"0123456789";

// The number box is read into a buffer of this many characters, the
// terminating null included.
inline constexpr std::size_t kNumberBoxBufferChars = 260;

// How often a shown dialog asks whether it is to close (see
// CPhoneNumberDlg2::CloseWhen): soon enough that the next dialog in line
// follows at once, rarely enough to cost nothing.
inline constexpr std::uint32_t kCloseCheckMilliseconds = 100;

// What DoModal returns.
inline constexpr std::int32_t kEndCodeOk = 1;
inline constexpr std::int32_t kEndCodeCancel = 2;
inline constexpr std::int32_t kEndCodeNotShown = -1;

}  // namespace mossvane
