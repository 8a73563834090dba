#include "user_access.h"

namespace mossvane::cups {

namespace {

constexpr std::uint32_t kRootUid = 0;

}  // namespace

Access DecideAccess(std::string_view jobUser, const Caller& caller, const UserDirectory& directory,
                    UserRecord& user) {
    user = UserRecord();
    if (!directory.FindByName(jobUser, user)) return Access::UnknownUser;
    if (caller.effectiveUid == kRootUid) {
        // Root may be the job user; then the real uid must be root as well,
        // or the drop would leave a different real user behind.
        bool rootJob = user.uid == kRootUid && caller.realUid == kRootUid;
        return rootJob ? Access::AlreadyUser : Access::BecomeUser;
    }
    if (caller.realUid == user.uid && caller.effectiveUid == user.uid) {
        return Access::AlreadyUser;
    }
    return Access::OtherUser;
}

}  // namespace mossvane::cups
