#include "wire/pipe_name.h"

#include "platform/system_info.h"
#include "wire/wire_format.h"

namespace mossvane {

std::u16string NameWithUserSuffix(std::u16string_view baseName) {
    std::u16string name(baseName);
    std::u16string user;
    if (platform::GetCurrentUserName(user)) name += u"_" + user;
    return name;
}

std::u16string UserPipeName() {
    return NameWithUserSuffix(kPipeBaseName);
}

}  // namespace mossvane
