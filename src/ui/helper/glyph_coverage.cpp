#include "helper/glyph_coverage.h"

#include <gdk/gdk.h>
#include <pango/pango.h>

#include "platform/debug_output.h"
#include "platform/utf8.h"

namespace mossvane::dialog_helper {
namespace {

bool ShowsAsBoxes(PangoContext* context, const std::string& text) {
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_text(layout, text.c_str(), -1);
    const int unknown = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    return unknown > 0;
}

// The first script of the text that belongs to a language: digits, signs and
// spaces are shared by all.
GUnicodeScript MainScript(const std::string& text) {
    for (const char* p = text.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        const GUnicodeScript script = g_unichar_get_script(g_utf8_get_char(p));
        if (script != G_UNICODE_SCRIPT_COMMON && script != G_UNICODE_SCRIPT_INHERITED &&
            script != G_UNICODE_SCRIPT_UNKNOWN) {
            return script;
        }
    }
    return G_UNICODE_SCRIPT_UNKNOWN;
}

std::string ScriptCode(GUnicodeScript script) {
    const guint32 code = g_unicode_script_to_iso15924(script);
    return {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
            static_cast<char>(code >> 8), static_cast<char>(code)};
}

std::string LanguageOf(GUnicodeScript script) {
    PangoLanguage* language = pango_script_get_sample_language(static_cast<PangoScript>(script));
    return language != nullptr ? pango_language_to_string(language) : "unknown";
}

}  // namespace

void ReportMissingGlyphs(const std::vector<std::u16string>& texts) {
    PangoContext* context = gdk_pango_context_get();
    for (const std::u16string& text : texts) {
        const std::string utf8 = platform::Utf16ToUtf8(text);
        if (!ShowsAsBoxes(context, utf8)) continue;
        const GUnicodeScript script = MainScript(utf8);
        platform::OutputDebugText(platform::Utf8ToUtf16(
            "[PI] mossvane-dialog: no installed font has glyphs for the dialog's texts in "
            "language " +
            LanguageOf(script) + " (script " + ScriptCode(script) +
            "); they show as empty boxes until a font that covers them is installed"));
        break;
    }
    g_object_unref(context);
}

}  // namespace mossvane::dialog_helper
