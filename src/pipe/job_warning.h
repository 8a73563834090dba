// The message box that tells the user a print job could not be stored.
#pragma once

#include <string>

#include "l10n/localize_consumer.h"

namespace mossvane {

struct JobWarningTexts {
    std::u16string caption;
    std::u16string message;
};

// The caption and message from the localizer, or their Korean defaults. The
// four characters backslash, "r", backslash, "n" in the message are a line
// break; the caption is taken as it is.
JobWarningTexts LoadJobWarningTexts(const LocalizeConsumer& localizer);

// Shows the warning system-modal and above every window, and waits until the
// user closes it. Where no window can be shown it leaves a debug line.
void ShowJobWarning();

}  // namespace mossvane
