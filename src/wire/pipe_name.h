// Names of the per-user objects: the pipe and the instance mutex carry the
// user's account name so that each user has a server of their own.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

// "<base>_<user>", or the bare base name when the user name is unavailable.
std::u16string NameWithUserSuffix(std::u16string_view baseName);

// The name of the current user's pipe.
std::u16string UserPipeName();

}  // namespace mossvane
