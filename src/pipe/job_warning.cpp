#include "pipe/job_warning.h"

#include "l10n/my_localizer.h"
#include "l10n/text_keys.h"
#include "platform/debug_output.h"
#include "ui/message_box.h"

namespace mossvane {

namespace {

constexpr std::u16string_view kEscapedLineBreak = u"\\r\\n";
constexpr std::u16string_view kLineBreak = u"\r\n";

std::u16string ExpandLineBreaks(std::u16string text) {
    for (std::size_t at = text.find(kEscapedLineBreak); at != std::u16string::npos;
         at = text.find(kEscapedLineBreak, at + kLineBreak.size())) {
        text.replace(at, kEscapedLineBreak.size(), kLineBreak);
    }
    return text;
}

}  // namespace

JobWarningTexts LoadJobWarningTexts(const LocalizeConsumer& localizer) {
    return {localizer.GetLocalizedString(kTextWarningCaption),
            ExpandLineBreaks(localizer.GetLocalizedString(kTextFailToCreatePrintJob))};
}

void ShowJobWarning() {
    const JobWarningTexts texts = LoadJobWarningTexts(LocalizeConsumer(GetLocalizer()));
    if (ShowSystemModalMessageBox(texts.caption, texts.message) == 0) {
        platform::OutputDebugText(u"[PI] The job warning could not be shown.");
    }
}

}  // namespace mossvane
