// The install and uninstall verbs: default lists copied from an XML settings
// file into the machine-wide driver plug-in key, and removal of the user's
// own driver plug-in key.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mossvane {

// The program file name under which a bare install argument names a file in
// the program's own folder.
inline constexpr char16_t kCompanionProgramFileName[] = u"Kolvent.exe";

// A settings file larger than this is refused unread: the lists it could
// hold would not fit into a settings hive anyway (see the hive's own limit).
inline constexpr std::size_t kMaxSettingsFileSize = 64 * 1024 * 1024;

// The settings file the install verb reads: the program's path up to the
// first kCompanionProgramFileName in it (nothing when it has none), followed
// by the argument unchanged.
std::u16string SettingsFilePath(std::u16string_view programPath, std::u16string_view argument);

// A list as the registry keeps it: every ";" of the settings file's text
// becomes a line feed; nothing else changes.
std::u16string ListValueText(std::u16string text);

// Reads the settings file named by the install verb's argument and writes
// the non-empty lists DevmodeList, DevmodeListForEndDoc and PhoneNumberList
// of its DefaultValue section into the machine-wide driver plug-in key,
// creating the key. A file that can't be read (or is larger than
// kMaxSettingsFileSize), or a key that can't be opened for writing, changes
// nothing and is reported on standard error; so is each list that can't be
// written, while the others still are. Memory that runs out ends the verb
// with a message, never the process.
void InstallDefaults(std::u16string_view argument);

// Deletes the user's driver plug-in key with its values (not when it has
// subkeys), creating its parent key for the user first.
void RemoveUserSettings();

}  // namespace mossvane
