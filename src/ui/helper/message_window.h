// A message box of the dialog helper: a caption, a text and one OK button.
#pragma once

#include <gtk/gtk.h>

#include "ui/dialog_texts.h"

namespace mossvane::dialog_helper {

// Shows `message` modally over `parent` (may be null) and returns when the
// user has closed it.
void RunMessageWindow(GtkWindow* parent, const MessageTexts& message);

// Keeps `window` above every other window and asks for the user's attention,
// as the Windows dialog does by forcing itself into the foreground.
void PutInFront(GtkWindow* window);

}  // namespace mossvane::dialog_helper
