// What the backend tells CUPS when it won't hand a job over: the exit status
// that decides what becomes of the job and the queue, and the "ERROR:" text
// an administrator reads in the job's log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "account_rules.h"
#include "job_owner.h"
#include "runtime_folder.h"
#include "user_access.h"

namespace mossvane::cups {

struct Refusal {
    bool refused = false;
    int status = 0;  // A BackendStatus.
    std::string message;
};

// Root and system accounts: the job is cancelled.
Refusal RefuseAccount(const UserRecord& user, AccountKind kind, std::uint32_t firstUserUid);

// A job without proof of a local owner is cancelled, never the queue
// stopped: whether a job brings proof is in its submitter's hands. The
// message tells a job authenticated by password from one not authenticated
// at all (and gives that one the set-up the queue needs).
Refusal RefuseUnprovenOwner(const UserRecord& user, OwnerProof proof, std::string_view queue);

// A missing runtime folder holds the job for later; a folder that is not
// the user's own and closed to others cancels it.
Refusal RefuseRuntimeFolder(FolderVerdict verdict, std::string_view folder, const UserRecord& user);

// A socket that is not the job user's own, or a server that runs as anyone
// but the job user (the client side refuses both before it sends a byte):
// the job is cancelled.
Refusal RefuseUntrustedServer(std::string_view socketPath, const UserRecord& user);

}  // namespace mossvane::cups
