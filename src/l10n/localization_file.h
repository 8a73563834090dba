// Turning the localization file's entries into the text table.
//
// The file is one XML document. Each direct child "Msg" of the root element
// is one text in one language: its "LN" attribute names the language, its
// "GR" attribute the key's group, and its first "Id" and "Val" children the
// rest of the key and the text. Every attribute and text is UTF-8.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

class TiXmlDocument;

namespace mossvane {

// Parses the bytes of a localization file into `document`, replacing what it
// held; false when they are not a well-formed document. Ill-formed UTF-8 is
// made well-formed first (each bad sequence becomes U+FFFD, as the texts
// would be read anyway), since TinyXML reads past the end of its buffer on
// a multi-byte lead byte at the very end. Line ends become line feeds, as
// TinyXML's own file loading makes them.
bool ParseLocalizationText(std::string_view bytes, TiXmlDocument& document);

// Key ("group/id") to text, ordered by code unit. Lookups are exact.
using TextTable = std::map<std::u16string, std::u16string, std::less<>>;

// Adds the entries of the language `languageCode` (matched without regard
// to ASCII case) to `table`, in document order, so a later entry for a key
// replaces an earlier one. Entries without "LN", or without an "Id" or "Val"
// that holds text, are skipped.
void FillTextTable(const TiXmlDocument& document, std::u16string_view languageCode,
                   TextTable& table);

// Whether some entry of the document belongs to `languageCode`.
bool HasLanguageEntry(const TiXmlDocument& document, std::u16string_view languageCode);

}  // namespace mossvane
