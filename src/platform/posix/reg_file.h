// The .reg text format that stands in for a registry hive on POSIX: the model
// of one file, its reader and its writer. Nothing here touches the file
// system, so the format can be tested on its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace mossvane::platform::posix {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::u16string_view kCurrentUserRootName = u"HKEY_CURRENT_USER";
inline constexpr std::u16string_view kLocalMachineRootName = u"HKEY_LOCAL_MACHINE";
inline constexpr char16_t kKeySeparator = u'\\';

struct RegFileValue {
    std::u16string name;  // empty: the key's default value, written as @
    RegistryValue value;
};

// One [section]: a key with its full path, root name first
// (HKEY_CURRENT_USER\Software\...), and its values in file order.
struct RegFileSection {
    std::u16string path;
    std::vector<RegFileValue> values;

    const RegFileValue* FindValue(std::u16string_view name) const;
    // Replaces the data of an existing value (keeping the spelling of its
    // name) or appends a new one.
    void SetValue(std::u16string_view name, const RegistryValue& value);
    bool RemoveValue(std::u16string_view name);
};

// A whole file. A key exists when its own section exists or when a section
// lies below it, as a hand-written file may name only the deepest keys.
struct RegFile {
    std::vector<RegFileSection> sections;

    RegFileSection* FindSection(std::u16string_view path);
    const RegFileSection* FindSection(std::u16string_view path) const;
    bool KeyExists(std::u16string_view path) const;
    bool HasSubKeys(std::u16string_view path) const;
    // Adds empty sections for the key and its missing parents (below the
    // root) and returns the key's section. Parents that exist lend their
    // spelling to the new sections.
    RegFileSection& EnsureKey(std::u16string_view path);
    bool RemoveSection(std::u16string_view path);
};

// Names of keys and values compare without regard to ASCII case.
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// Whether `path` lies strictly below `ancestor`.
bool IsBelow(std::u16string_view path, std::u16string_view ancestor);

// Whether a value name, or one component of a key path, can be written to
// the file and read back unchanged: well-formed UTF-16 with no null, and for
// key components no line break either (a section is one line).
bool IsWritableValueName(std::u16string_view name);
bool IsWritableKeyName(std::u16string_view name);

// Reads a whole file: UTF-8 (a byte order mark is skipped) or, as exported by
// the Windows registry editor, UTF-16LE with its byte order mark. Accepts CR
// LF line ends, blank lines, ';' comments and hex lists continued with a
// trailing '\'. Removal entries of import scripts ([-key], "name"=-) are
// skipped. Sections of the same key merge; a later value of the same name
// wins. False when the text is not a well-formed file; `errorLine` (when
// given) then names the first bad line, counting from 1.
bool ParseRegFile(std::string_view bytes, RegFile& file, std::size_t* errorLine = nullptr);

// Writes the file as UTF-8 with LF line ends, one value per line. False when
// a name can't be written (see IsWritableValueName).
bool FormatRegFile(const RegFile& file, std::string& text);

}  // namespace mossvane::platform::posix
