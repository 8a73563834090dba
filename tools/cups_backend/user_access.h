// Whom the backend acts for. CUPS names the job's user by name; the backend
// serves that user's own server and nobody else's, and never keeps root's
// rights while it talks to a server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane::cups {

struct UserRecord {
    std::string name;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
};

// Looks users up by name; the system's user database in the backend, a
// table in tests.
class UserDirectory {
  public:
    virtual ~UserDirectory() = default;
    virtual bool FindByName(std::string_view name, UserRecord& user) const = 0;
};

// Who runs the backend.
struct Caller {
    std::uint32_t realUid = 0;
    std::uint32_t effectiveUid = 0;
};

enum class Access {
    BecomeUser,   // Run as root: take on the job user's identity first.
    AlreadyUser,  // Run as the job user: go ahead as is.
    UnknownUser,  // No such user on this system (a job from another host).
    OtherUser,    // Run as someone else, who may not act for the job user.
};

// Decides and fills user with the job user's record when known.
Access DecideAccess(std::string_view jobUser, const Caller& caller, const UserDirectory& directory,
                    UserRecord& user);

}  // namespace mossvane::cups
