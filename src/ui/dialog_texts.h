// The texts of the identification-number dialog and its two messages, looked
// up in the localization and put into their final form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "l10n/localize_consumer.h"
#include "ui/number_input.h"

namespace mossvane {

// Replaces every occurrence of `from` in `text`, scanning left to right; the
// replacement is never scanned again.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to);

// The range label from its template: every "{1}" becomes the shortest and
// then every "{2}" the longest number length.
std::u16string ComposeRangeLabel(std::u16string_view labelTemplate);

// The too-short message from its template: every "%d" becomes the shortest
// number length. The template comes from the localization file, so it is
// never used as a format: other "%" sequences stay as they are.
std::u16string ComposeLackNumberText(std::u16string_view messageTemplate);

struct MessageTexts {
    std::u16string caption;
    std::u16string text;
};

// The message that OK shows for `check` (Empty or TooShort).
MessageTexts RejectionMessage(NumberCheck check, const LocalizeConsumer& localizer);

std::u16string DialogCaption(const LocalizeConsumer& localizer);
std::u16string RangeLabel(const LocalizeConsumer& localizer);

// Everything the dialog shows, for a window that can't look texts up itself.
struct NumberDialogTexts {
    std::u16string caption;
    std::u16string rangeLabel;
    std::u16string okButton;
    std::u16string cancelButton;
    MessageTexts emptyNumber;
    MessageTexts lackNumber;
};

NumberDialogTexts LoadNumberDialogTexts(const LocalizeConsumer& localizer);

// The texts as an ordered list of records and back, for handing them to
// another process. FromRecords fails unless the count is exactly right.
std::vector<std::u16string> ToRecords(const NumberDialogTexts& texts);
bool FromRecords(std::vector<std::u16string> records, NumberDialogTexts& texts);

}  // namespace mossvane
