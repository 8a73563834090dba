// Starts the dialog helper program beside the server and waits for the
// user's answer (see dialog_channel.h for what travels between them).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mossvane::dialog_helper {

// Whether an X11 or Wayland display is named in the environment.
bool HasDisplay();

// Runs the helper from the server's folder in `modeArgument` with `texts`,
// and waits until the user has answered. Returns the helper's end code with
// `answer` set to the text it sent back (empty when none), or -1 when there
// is no display or the helper could not start, crashed or answered nothing
// usable. With `closeWhen`, asked every kCloseCheckMilliseconds, the helper's
// windows close once it holds, and the result is a cancellation (2).
std::int32_t RunDialogHelper(const char* modeArgument, const std::vector<std::u16string>& texts,
                             std::u16string& answer,
                             const std::function<bool()>& closeWhen = nullptr);

}  // namespace mossvane::dialog_helper
