// The dialog helper program: on this platform the identification-number
// dialog and the message box are shown by a separate GTK program beside the
// server, so the server never links a toolkit and a crash of the toolkit
// can't take it down. The server hands the helper its texts and reads the
// user's answer over a socket on the helper's descriptor 3; nothing of either
// travels in the command line or the environment.
//
// The channel carries records: a 4-byte little-endian length, then that many
// bytes of UTF-8. The server sends the texts of the chosen mode and shuts its
// side for writing; the helper answers with the end code in decimal and, for
// a confirmed number, the number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mossvane::platform::posix {

inline constexpr char kDialogHelperName[] = "mossvane-dialog";
inline constexpr char kNumberModeArgument[] = "--number";
inline constexpr char kMessageModeArgument[] = "--message";
inline constexpr int kHelperChannelFd = 3;
// The helper's exit code when it can't open the display.
inline constexpr int kHelperExitNoDisplay = 3;
// The helper's exit code when the channel or its arguments are unusable.
inline constexpr int kHelperExitBadRequest = 4;
// The helper's exit code when the server went away before the user answered.
inline constexpr int kHelperExitServerGone = 5;
// Neither side reads more than this from the channel.
inline constexpr std::size_t kMaxChannelBytes = 64 * 1024;

// Whether an X11 or Wayland display is named in the environment.
bool HasDisplay();

// Runs the helper from the server's folder in `modeArgument` with `texts`,
// and waits until the user has answered. Returns the helper's end code with
// `answer` set to the text it sent back (empty when none), or -1 when there
// is no display or the helper could not start, crashed or answered nothing
// usable.
std::int32_t RunDialogHelper(const char* modeArgument, const std::vector<std::u16string>& texts,
                             std::u16string& answer);

// The channel's encoding, shared by the server and the helper.
std::string EncodeRecords(const std::vector<std::u16string>& records);
bool DecodeRecords(std::string_view bytes, std::vector<std::u16string>& records);

// Sends all of `bytes`; a vanished peer is a failure, never a signal.
bool SendAll(int fd, std::string_view bytes);
// Reads until the peer shuts its side, at most kMaxChannelBytes.
bool ReceiveAll(int fd, std::string& bytes);

}  // namespace mossvane::platform::posix
