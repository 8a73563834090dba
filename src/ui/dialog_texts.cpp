#include "ui/dialog_texts.h"

#include <string>

#include "l10n/text_keys.h"
#include "ui/dialog_constants.h"

namespace mossvane {
namespace {

constexpr std::u16string_view kShortestPlaceholder = u"{1}";
constexpr std::u16string_view kLongestPlaceholder = u"{2}";
constexpr std::u16string_view kCountDirective = u"%d";
constexpr std::size_t kNumberDialogRecordCount = 8;

// The number as "%d" writes it.
std::u16string Decimal(std::size_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to) {
    if (from.empty()) return std::u16string(text);
    std::u16string result;
    std::size_t start = 0;
    for (std::size_t found = text.find(from); found != std::u16string_view::npos;
         found = text.find(from, start)) {
        result.append(text.substr(start, found - start)).append(to);
        start = found + from.size();
    }
    result.append(text.substr(start));
    return result;
}

std::u16string ComposeRangeLabel(std::u16string_view labelTemplate) {
    const std::u16string withShortest =
        ReplaceAll(labelTemplate, kShortestPlaceholder, Decimal(kMinNumberDigits));
    return ReplaceAll(withShortest, kLongestPlaceholder, Decimal(kMaxNumberDigits));
}

std::u16string ComposeLackNumberText(std::u16string_view messageTemplate) {
    return ReplaceAll(messageTemplate, kCountDirective, Decimal(kMinNumberDigits));
}

MessageTexts RejectionMessage(NumberCheck check, const LocalizeConsumer& localizer) {
    if (check == NumberCheck::Empty) {
        return {localizer.GetLocalizedString(kTextEmptyNumberCaption),
                localizer.GetLocalizedString(kTextEmptyNumberMessage)};
    }
    return {localizer.GetLocalizedString(kTextLackNumberCaption),
            ComposeLackNumberText(localizer.GetLocalizedString(kTextLackNumberFormat))};
}

std::u16string DialogCaption(const LocalizeConsumer& localizer) {
    return localizer.GetLocalizedString(kTextDialogCaption);
}

std::u16string RangeLabel(const LocalizeConsumer& localizer) {
    return ComposeRangeLabel(localizer.GetLocalizedString(kTextRangeLabel));
}

NumberDialogTexts LoadNumberDialogTexts(const LocalizeConsumer& localizer) {
    NumberDialogTexts texts;
    texts.caption = DialogCaption(localizer);
    texts.rangeLabel = RangeLabel(localizer);
    texts.okButton = localizer.GetLocalizedString(kTextOkButton);
    texts.cancelButton = localizer.GetLocalizedString(kTextCancelButton);
    texts.emptyNumber = RejectionMessage(NumberCheck::Empty, localizer);
    texts.lackNumber = RejectionMessage(NumberCheck::TooShort, localizer);
    return texts;
}

std::vector<std::u16string> ToRecords(const NumberDialogTexts& texts) {
    return {texts.caption,
            texts.rangeLabel,
            texts.okButton,
            texts.cancelButton,
            texts.emptyNumber.caption,
            texts.emptyNumber.text,
            texts.lackNumber.caption,
            texts.lackNumber.text};
}

bool FromRecords(std::vector<std::u16string> records, NumberDialogTexts& texts) {
    if (records.size() != kNumberDialogRecordCount) return false;
    texts.caption = std::move(records[0]);
    texts.rangeLabel = std::move(records[1]);
    texts.okButton = std::move(records[2]);
    texts.cancelButton = std::move(records[3]);
    texts.emptyNumber = {std::move(records[4]), std::move(records[5])};
    texts.lackNumber = {std::move(records[6]), std::move(records[7])};
    return true;
}

}  // namespace mossvane
