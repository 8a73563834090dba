// The channel between the server and the dialog helper program. On this
// platform the identification-number dialog and the message box are shown by
// a separate GTK program beside the server, so the server never links a
// toolkit and a crash of the toolkit can't take it down. The server hands the
// helper its texts and reads the user's answer over a socket on the helper's
// descriptor 3; nothing of either travels in the command line or the
// environment.
//
// The channel carries records: a 4-byte little-endian length, then that many
// bytes of UTF-8. The server sends the texts of the chosen mode and shuts its
// side for writing; the helper answers with the end code in decimal and, for
// a confirmed number, the number.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mossvane::dialog_helper {

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

std::string EncodeRecords(const std::vector<std::u16string>& records);
bool DecodeRecords(std::string_view bytes, std::vector<std::u16string>& records);

// Sends all of `bytes`; a vanished peer is a failure, never a signal.
bool SendAll(int fd, std::string_view bytes);
// Reads until the peer shuts its side, at most kMaxChannelBytes.
bool ReceiveAll(int fd, std::string& bytes);

enum class Received { All, Failed, GaveUp };

// ReceiveAll that asks `giveUpWhen` every kCloseCheckMilliseconds while
// nothing comes, and stops once it holds.
Received ReceiveAllUnless(int fd, std::string& bytes, const std::function<bool()>& giveUpWhen);

}  // namespace mossvane::dialog_helper
