// Ordinary local accounts that exist for one test process: created with the
// system's useradd (so they get uids from the range for people) and removed
// with userdel when the test is done. Accounts that a crashed test process
// left behind carry its process id in their name and are removed by the
// next test that makes accounts.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace mossvane::cups::test {

class ThrowawayUser {
  public:
    // Why accounts can't be made here, or empty: it needs root and useradd.
    static std::string WhyUnavailable();

    // tag tells the accounts of one process apart ("a", "b"). Null with
    // error set when the account could not be made.
    static std::unique_ptr<ThrowawayUser> Create(const std::string& tag, std::string& error);

    // Removes accounts whose creating process is gone.
    static void RemoveLeftovers();

    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    // Gives the account a password (chpasswd); empty or the reason it failed.
    std::string SetPassword(const std::string& password) const;

    const std::string& Name() const { return m_name; }
    uid_t Uid() const { return m_uid; }
    gid_t Gid() const { return m_gid; }

  private:
    ThrowawayUser(std::string name, uid_t uid, gid_t gid)
        : m_name(std::move(name)), m_uid(uid), m_gid(gid) {}

    std::string m_name;
    uid_t m_uid;
    gid_t m_gid;
};

}  // namespace mossvane::cups::test
