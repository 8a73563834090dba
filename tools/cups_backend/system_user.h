// The system side of user handling: the user database, who runs the
// backend, and giving up root for the job user's identity.
#pragma once

#include <string>
#include <string_view>

#include "user_access.h"

namespace mossvane::cups {

// The system's user database (getpwnam_r).
class SystemUserDirectory : public UserDirectory {
  public:
    bool FindByName(std::string_view name, UserRecord& user) const override;
};

Caller CurrentCaller();

// Takes on the user's groups, group and user id for good, and checks that
// root's rights can't be taken back. False with a message when any step fails.
bool BecomeUser(const UserRecord& user, std::string& error);

// The process's real and effective user and group ids, for the log.
std::string DescribeIdentity();

}  // namespace mossvane::cups
