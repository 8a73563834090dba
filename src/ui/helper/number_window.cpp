#include "helper/number_window.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "helper/glyph_coverage.h"
#include "helper/message_window.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"
#include "platform/wipe.h"
#include "ui/dialog_constants.h"
#include "ui/number_input.h"

namespace mossvane::dialog_helper {
namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::WipeText;

// The template's positions are in dialog units; these turn them into pixels
// for GTK's taller default widgets.
constexpr double kPixelsPerDluX = 2.0;
constexpr double kPixelsPerDluY = 2.5;

struct DluRect {
    int x, y, width, height;
};

constexpr DluRect kDialogRect{0, 0, 120, 55};
constexpr DluRect kNumberBoxRect{14, 7, 90, 13};
constexpr DluRect kOkButtonRect{9, 34, 50, 14};
constexpr DluRect kCancelButtonRect{60, 34, 50, 14};
constexpr DluRect kRangeLabelRect{15, 22, 89, 8};

int PixelsX(int dlu) {
    return static_cast<int>(dlu * kPixelsPerDluX);
}
int PixelsY(int dlu) {
    return static_cast<int>(dlu * kPixelsPerDluY);
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

struct NumberWindow {
    explicit NumberWindow(const NumberDialogTexts& dialogTexts) : texts(dialogTexts) {}

    const NumberDialogTexts& texts;
    GtkWidget* window = nullptr;
    GtkWidget* numberBox = nullptr;
    std::int32_t endCode = kEndCodeCancel;
    std::u16string number;
    guint pendingFilter = 0;
    bool ended = false;
};

void End(NumberWindow& self, std::int32_t code) {
    if (self.ended) return;
    self.ended = true;
    self.endCode = code;
    gtk_main_quit();
}

gboolean ApplyFilter(gpointer data) {
    auto& self = *static_cast<NumberWindow*>(data);
    self.pendingFilter = 0;
    GtkEntry* entry = GTK_ENTRY(self.numberBox);
    std::u16string text = Utf8ToUtf16(gtk_entry_get_text(entry));
    if (!text.empty() && FilterDigits(text)) {
        std::string filtered = Utf16ToUtf8(text);
        gtk_entry_set_text(entry, filtered.c_str());
        gtk_editable_set_position(GTK_EDITABLE(entry), -1);
        WipeText(filtered);
    }
    WipeText(text);
    return G_SOURCE_REMOVE;
}

// The entry is still busy with the change when it reports it, so the filter
// runs right after, before any further input event is handled.
void OnNumberChanged(GtkEditable* /*editable*/, gpointer data) {
    auto& self = *static_cast<NumberWindow*>(data);
    if (self.pendingFilter != 0) return;
    self.pendingFilter = g_idle_add_full(G_PRIORITY_HIGH, ApplyFilter, &self, nullptr);
}

void FlushFilter(NumberWindow& self) {
    if (self.pendingFilter == 0) return;
    g_source_remove(self.pendingFilter);
    ApplyFilter(&self);
}

// The Windows edit control counts its limit in UTF-16 units, and so does the
// filter, which clears a longer text: input that would not fit is cut to
// what fits (never half a surrogate pair), as the edit control cuts it.
void OnInsertText(GtkEditable* editable, const gchar* text, gint length, gint* position,
                  gpointer data) {
    std::u16string current = Utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(editable)));
    const std::size_t room =
        current.size() < kMaxNumberDigits ? kMaxNumberDigits - current.size() : 0;
    WipeText(current);
    std::u16string inserted =
        Utf8ToUtf16(length < 0 ? std::string_view(text)
                               : std::string_view(text, static_cast<std::size_t>(length)));
    if (inserted.size() <= room) {
        WipeText(inserted);
        return;
    }
    g_signal_stop_emission_by_name(editable, "insert-text");
    inserted.resize(room);
    if (!inserted.empty() && IsHighSurrogate(inserted.back())) inserted.pop_back();
    if (!inserted.empty()) {
        std::string fitting = Utf16ToUtf8(inserted);
        g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(OnInsertText), data);
        gtk_editable_insert_text(editable, fitting.c_str(), -1, position);
        g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(OnInsertText), data);
        WipeText(fitting);
    }
    WipeText(inserted);
}

// Back from a message box the user goes on typing where they stopped: the
// focus returns without the entry's select-on-focus, with the caret after
// the last digit, as the Windows dialog gives it back.
void ReturnFocusToNumberBox(NumberWindow& self) {
    gtk_entry_grab_focus_without_selecting(GTK_ENTRY(self.numberBox));
    gtk_editable_select_region(GTK_EDITABLE(self.numberBox), -1, -1);
    gtk_editable_set_position(GTK_EDITABLE(self.numberBox), -1);
}

void OnOk(GtkButton* /*button*/, gpointer data) {
    auto& self = *static_cast<NumberWindow*>(data);
    FlushFilter(self);
    std::u16string text = Utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(self.numberBox)));
    const NumberCheck check = CheckNumber(text);
    if (check == NumberCheck::Accepted) {
        self.number.assign(text);
        WipeText(text);
        End(self, kEndCodeOk);
        return;
    }
    WipeText(text);
    const MessageTexts& message =
        check == NumberCheck::Empty ? self.texts.emptyNumber : self.texts.lackNumber;
    RunMessageWindow(GTK_WINDOW(self.window), message);
    ReturnFocusToNumberBox(self);
}

void OnCancel(GtkButton* /*button*/, gpointer data) {
    End(*static_cast<NumberWindow*>(data), kEndCodeCancel);
}

gboolean OnKeyPress(GtkWidget* /*widget*/, GdkEventKey* event, gpointer data) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    End(*static_cast<NumberWindow*>(data), kEndCodeCancel);
    return TRUE;
}

// The close box cancels; the window itself goes when the dialog has ended.
gboolean OnDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data) {
    End(*static_cast<NumberWindow*>(data), kEndCodeCancel);
    return TRUE;
}

void Place(GtkWidget* layout, GtkWidget* widget, const DluRect& rect) {
    gtk_widget_set_size_request(widget, PixelsX(rect.width), PixelsY(rect.height));
    gtk_fixed_put(GTK_FIXED(layout), widget, PixelsX(rect.x), PixelsY(rect.y));
}

GtkWidget* NewButton(const std::u16string& label, GCallback handler, NumberWindow& self) {
    const std::string text = Utf16ToUtf8(label);
    GtkWidget* button = gtk_button_new_with_label(text.c_str());
    g_signal_connect(button, "clicked", handler, &self);
    return button;
}

// Builds the controls in the template's tab order: number box, OK, Cancel,
// range label.
GtkWidget* BuildLayout(NumberWindow& self) {
    GtkWidget* layout = gtk_fixed_new();
    gtk_widget_set_size_request(layout, PixelsX(kDialogRect.width), PixelsY(kDialogRect.height));

    self.numberBox = gtk_entry_new();
    // On-screen keyboards and input methods then offer a number pad, and
    // keep the digits out of their spelling and history.
    gtk_entry_set_input_purpose(GTK_ENTRY(self.numberBox), GTK_INPUT_PURPOSE_PIN);
    gtk_entry_set_input_hints(
        GTK_ENTRY(self.numberBox),
        static_cast<GtkInputHints>(GTK_INPUT_HINT_NO_SPELLCHECK | GTK_INPUT_HINT_NO_EMOJI));
    gtk_entry_set_max_length(GTK_ENTRY(self.numberBox), static_cast<gint>(kMaxNumberDigits));
    gtk_entry_set_activates_default(GTK_ENTRY(self.numberBox), TRUE);
    g_signal_connect(self.numberBox, "insert-text", G_CALLBACK(OnInsertText), &self);
    g_signal_connect(self.numberBox, "changed", G_CALLBACK(OnNumberChanged), &self);
    Place(layout, self.numberBox, kNumberBoxRect);

    GtkWidget* ok = NewButton(self.texts.okButton, G_CALLBACK(OnOk), self);
    gtk_widget_set_can_default(ok, TRUE);
    Place(layout, ok, kOkButtonRect);
    Place(layout, NewButton(self.texts.cancelButton, G_CALLBACK(OnCancel), self),
          kCancelButtonRect);

    const std::string label = Utf16ToUtf8(self.texts.rangeLabel);
    GtkWidget* rangeLabel = gtk_label_new(label.c_str());
    gtk_label_set_xalign(GTK_LABEL(rangeLabel), 0.0f);
    Place(layout, rangeLabel, kRangeLabelRect);

    gtk_container_add(GTK_CONTAINER(self.window), layout);
    return ok;
}

void BuildWindow(NumberWindow& self) {
    self.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    const std::string caption = Utf16ToUtf8(self.texts.caption);
    gtk_window_set_title(GTK_WINDOW(self.window), caption.c_str());
    gtk_window_set_resizable(GTK_WINDOW(self.window), FALSE);
    // A modal dialog is what window managers and compositors centre on the
    // screen: X11 ones take the position asked for, while on Wayland, where
    // a window can't place itself, the compositor decides from the type
    // alone, and one that does not centre dialogs is left to do as it does.
    gtk_window_set_type_hint(GTK_WINDOW(self.window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_modal(GTK_WINDOW(self.window), TRUE);
    gtk_window_set_position(GTK_WINDOW(self.window), GTK_WIN_POS_CENTER);
    g_signal_connect(self.window, "key-press-event", G_CALLBACK(OnKeyPress), &self);
    g_signal_connect(self.window, "delete-event", G_CALLBACK(OnDelete), &self);

    GtkWidget* ok = BuildLayout(self);
    gtk_widget_show_all(self.window);
    gtk_widget_grab_default(ok);
    gtk_widget_grab_focus(self.numberBox);
}

}  // namespace

std::int32_t RunNumberWindow(const NumberDialogTexts& texts, std::u16string& number) {
    NumberWindow self(texts);
    BuildWindow(self);
    PutInFront(GTK_WINDOW(self.window));
    // The window goes on screen first; the fonts are checked while it does.
    gdk_display_flush(gtk_widget_get_display(self.window));
    ReportMissingGlyphs({texts.caption, texts.rangeLabel, texts.okButton, texts.cancelButton,
                         texts.emptyNumber.caption, texts.emptyNumber.text,
                         texts.lackNumber.caption, texts.lackNumber.text});
    gtk_main();

    if (self.pendingFilter != 0) g_source_remove(self.pendingFilter);
    g_signal_handlers_disconnect_by_data(self.numberBox, &self);
    // The entry's buffer wipes what it frees; clearing it hands the digits
    // back to that wiping before the window goes.
    gtk_entry_set_text(GTK_ENTRY(self.numberBox), "");
    gtk_widget_destroy(self.window);
    number.assign(self.number);
    WipeText(self.number);
    return self.endCode;
}

}  // namespace mossvane::dialog_helper
