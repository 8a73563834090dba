// The dialog helper's window as the toolkit sees it: what it tells input
// methods and the window manager.
#include "helper/number_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "ui/dialog_constants.h"
#include "ui/dialog_texts.h"

namespace mossvane::dialog_helper {
namespace {

constexpr char kCaption[] = "Number window test";

// What the test reads back from the shown window before closing it.
struct Observed {
    bool found = false;
    GtkInputPurpose purpose = GTK_INPUT_PURPOSE_FREE_FORM;
    GtkInputHints hints = GTK_INPUT_HINT_NONE;
    bool modal = false;
    GdkWindowTypeHint typeHint = GDK_WINDOW_TYPE_HINT_NORMAL;
};

GtkWidget* FindEntry(GtkWidget* widget) {
    if (GTK_IS_ENTRY(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* child = children; child != nullptr && found == nullptr; child = child->next) {
        found = FindEntry(GTK_WIDGET(child->data));
    }
    g_list_free(children);
    return found;
}

gboolean ObserveAndClose(gpointer data) {
    auto& observed = *static_cast<Observed*>(data);
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item != nullptr; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        const gchar* title = gtk_window_get_title(window);
        if (title == nullptr || g_strcmp0(title, kCaption) != 0) continue;
        if (GtkWidget* entry = FindEntry(GTK_WIDGET(window))) {
            observed.found = true;
            observed.purpose = gtk_entry_get_input_purpose(GTK_ENTRY(entry));
            observed.hints = gtk_entry_get_input_hints(GTK_ENTRY(entry));
        }
        observed.modal = gtk_window_get_modal(window);
        observed.typeHint = gtk_window_get_type_hint(window);
        gtk_window_close(window);
    }
    g_list_free(windows);
    return G_SOURCE_REMOVE;
}

TEST(NumberWindowTest, TellsInputMethodsAndTheWindowManagerWhatItIs) {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    NumberDialogTexts texts{u"Number window test",     u"(4 - 20 Digit)",      u"OK", u"Cancel",
                            {u"Empty", u"Empty text"}, {u"Lack", u"Lack text"}};
    Observed observed;
    g_idle_add(ObserveAndClose, &observed);
    std::u16string number;
    EXPECT_EQ(RunNumberWindow(texts, number), kEndCodeCancel);

    ASSERT_TRUE(observed.found);
    EXPECT_EQ(observed.purpose, GTK_INPUT_PURPOSE_PIN);
    EXPECT_TRUE(observed.hints & GTK_INPUT_HINT_NO_SPELLCHECK);
    EXPECT_TRUE(observed.modal);
    EXPECT_EQ(observed.typeHint, GDK_WINDOW_TYPE_HINT_DIALOG);
}

}  // namespace
}  // namespace mossvane::dialog_helper
