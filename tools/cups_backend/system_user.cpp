// The user database, identity change and environment of the backend, with
// POSIX calls; the backend runs on POSIX systems only.
#include "system_user.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mossvane::cups {

namespace {

constexpr std::size_t kDefaultRecordBuffer = 16384;

std::string SystemMessage(const char* step, int errnoValue) {
    return std::string(step) + " failed: " + std::strerror(errnoValue);
}

// After the change there must be no way back to root, and every id must be
// the user's: a partial change would leave the backend acting as root.
bool IdentityIsUser(const UserRecord& user, std::string& error) {
    uid_t realUid = 0;
    uid_t effectiveUid = 0;
    uid_t savedUid = 0;
    gid_t realGid = 0;
    gid_t effectiveGid = 0;
    gid_t savedGid = 0;
    if (getresuid(&realUid, &effectiveUid, &savedUid) != 0 ||
        getresgid(&realGid, &effectiveGid, &savedGid) != 0) {
        error = SystemMessage("reading the process ids", errno);
        return false;
    }
    bool idsMatch = realUid == user.uid && effectiveUid == user.uid && savedUid == user.uid &&
                    realGid == user.gid && effectiveGid == user.gid && savedGid == user.gid;
    if (!idsMatch) {
        error = "the process ids are not the user's after the change";
        return false;
    }
    if (user.uid != 0 && setuid(0) == 0) {
        error = "root's rights could be taken back after the change";
        return false;
    }
    return true;
}

}  // namespace

bool SystemUserDirectory::FindByName(std::string_view name, UserRecord& user) const {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested)
                                           : kDefaultRecordBuffer);
    std::string key(name);
    passwd record{};
    passwd* found = nullptr;
    for (;;) {
        int status = getpwnam_r(key.c_str(), &record, buffer.data(), buffer.size(), &found);
        if (status == ERANGE) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0 || found == nullptr) return false;
        user.name = record.pw_name;
        user.uid = record.pw_uid;
        user.gid = record.pw_gid;
        return true;
    }
}

Caller CurrentCaller() {
    return Caller{getuid(), geteuid()};
}

bool BecomeUser(const UserRecord& user, std::string& error) {
    // Groups first: once the user id has changed, they can't be changed.
    if (initgroups(user.name.c_str(), user.gid) != 0) {
        error = SystemMessage("initgroups", errno);
        return false;
    }
    if (setgid(user.gid) != 0) {
        error = SystemMessage("setgid", errno);
        return false;
    }
    if (setuid(user.uid) != 0) {
        error = SystemMessage("setuid", errno);
        return false;
    }
    return IdentityIsUser(user, error);
}

std::string DescribeIdentity() {
    return "uid " + std::to_string(getuid()) + ", euid " + std::to_string(geteuid()) + ", gid " +
           std::to_string(getgid()) + ", egid " + std::to_string(getegid());
}

}  // namespace mossvane::cups
