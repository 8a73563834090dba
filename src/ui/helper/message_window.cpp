#include "helper/message_window.h"

#include <string>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::dialog_helper {

void PutInFront(GtkWindow* window) {
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_set_urgency_hint(window, TRUE);
    gtk_window_present(window);
}

void RunMessageWindow(GtkWindow* parent, const MessageTexts& message) {
    const std::string caption = platform::Utf16ToUtf8(message.caption);
    const std::string text = platform::Utf16ToUtf8(message.text);
    // The text goes in as an argument of "%s": a localized text is never a
    // format.
    GtkWidget* box = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL),
                                            GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(box),
                            parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    PutInFront(GTK_WINDOW(box));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

}  // namespace mossvane::dialog_helper
