// The in-memory model of a .reg file: finding, adding and removing keys and
// values with the registry's case-insensitive names.
#include "platform/posix/reg_file.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/utf8.h"

namespace mossvane::platform::posix {
namespace {

char16_t AsciiLower(char16_t unit) {
    return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

bool RoundTripsThroughUtf8(std::u16string_view text) {
    return Utf8ToUtf16(Utf16ToUtf8(text)) == text;
}

bool IsKeyOrBelow(std::u16string_view path, std::u16string_view key) {
    return EqualsIgnoringAsciiCase(path, key) || IsBelow(path, key);
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsBelow(std::u16string_view path, std::u16string_view ancestor) {
    return path.size() > ancestor.size() && path[ancestor.size()] == kKeySeparator &&
           EqualsIgnoringAsciiCase(path.substr(0, ancestor.size()), ancestor);
}

bool IsWritableValueName(std::u16string_view name) {
    return name.find(u'\0') == std::u16string_view::npos && RoundTripsThroughUtf8(name);
}

bool IsWritableKeyName(std::u16string_view name) {
    return !name.empty() && name.find_first_of(u"\\\r\n") == std::u16string_view::npos &&
           IsWritableValueName(name);
}

const RegFileValue* RegFileSection::FindValue(std::u16string_view name) const {
    const auto found = std::find_if(values.begin(), values.end(), [name](const RegFileValue& v) {
        return EqualsIgnoringAsciiCase(v.name, name);
    });
    return found == values.end() ? nullptr : &*found;
}

void RegFileSection::SetValue(std::u16string_view name, const RegistryValue& value) {
    const auto found = std::find_if(values.begin(), values.end(), [name](const RegFileValue& v) {
        return EqualsIgnoringAsciiCase(v.name, name);
    });
    if (found != values.end()) {
        found->value = value;
        return;
    }
    values.push_back({std::u16string(name), value});
}

bool RegFileSection::RemoveValue(std::u16string_view name) {
    return std::erase_if(values, [name](const RegFileValue& v) {
               return EqualsIgnoringAsciiCase(v.name, name);
           }) > 0;
}

RegFileSection* RegFile::FindSection(std::u16string_view path) {
    return const_cast<RegFileSection*>(std::as_const(*this).FindSection(path));
}

const RegFileSection* RegFile::FindSection(std::u16string_view path) const {
    const auto found =
        std::find_if(sections.begin(), sections.end(), [path](const RegFileSection& section) {
            return EqualsIgnoringAsciiCase(section.path, path);
        });
    return found == sections.end() ? nullptr : &*found;
}

bool RegFile::KeyExists(std::u16string_view path) const {
    return std::any_of(sections.begin(), sections.end(), [path](const RegFileSection& section) {
        return IsKeyOrBelow(section.path, path);
    });
}

bool RegFile::HasSubKeys(std::u16string_view path) const {
    return std::any_of(sections.begin(), sections.end(), [path](const RegFileSection& section) {
        return IsBelow(section.path, path);
    });
}

namespace {

// The spelling an existing section gives to `prefix`, if any section is the
// key itself or lies below it.
std::optional<std::u16string> ExistingSpelling(const RegFile& file, std::u16string_view prefix) {
    for (const RegFileSection& section : file.sections) {
        if (IsKeyOrBelow(section.path, prefix)) return section.path.substr(0, prefix.size());
    }
    return std::nullopt;
}

// New sections go after the last section of their parent's subtree, so a
// key's children stay together as in an exported file.
std::size_t InsertionIndex(const RegFile& file, std::u16string_view path) {
    const std::size_t separator = path.rfind(kKeySeparator);
    if (separator == std::u16string_view::npos) return file.sections.size();
    const std::u16string_view parent = path.substr(0, separator);
    for (std::size_t i = file.sections.size(); i > 0; --i) {
        if (IsKeyOrBelow(file.sections[i - 1].path, parent)) return i;
    }
    return file.sections.size();
}

RegFileSection& SectionAddedIfMissing(RegFile& file, const std::u16string& path) {
    if (RegFileSection* section = file.FindSection(path)) return *section;
    const auto index = static_cast<std::ptrdiff_t>(InsertionIndex(file, path));
    return *file.sections.insert(file.sections.begin() + index, RegFileSection{path, {}});
}

}  // namespace

RegFileSection& RegFile::EnsureKey(std::u16string_view path) {
    std::u16string spelled;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(kKeySeparator, start);
        const std::u16string_view prefix = path.substr(0, end);
        const std::u16string_view component = prefix.substr(start);
        spelled = ExistingSpelling(*this, prefix)
                      .value_or(start == 0 ? std::u16string(component)
                                           : spelled + kKeySeparator + std::u16string(component));
        if (end == std::u16string_view::npos) return SectionAddedIfMissing(*this, spelled);
        // The root itself gets a section only when it is the key asked for.
        if (start != 0) SectionAddedIfMissing(*this, spelled);
        start = end + 1;
    }
}

bool RegFile::RemoveSection(std::u16string_view path) {
    return std::erase_if(sections, [path](const RegFileSection& section) {
               return EqualsIgnoringAsciiCase(section.path, path);
           }) > 0;
}

}  // namespace mossvane::platform::posix
