#include "refusals.h"

#include "backend_status.h"

namespace mossvane::cups {

namespace {

Refusal Refuse(int status, std::string message) {
    return Refusal{true, status, std::move(message)};
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

Refusal RefuseAccount(const UserRecord& user, AccountKind kind, std::uint32_t firstUserUid) {
    switch (kind) {
        case AccountKind::Ordinary:
            return {};
        case AccountKind::Root:
            return Refuse(kBackendCancel, "The job belongs to " + Quoted(user.name) +
                                              " (user id 0); Mossvane never acts for root. "
                                              "The job is cancelled.");
        case AccountKind::SystemAccount:
            break;
    }
    return Refuse(kBackendCancel,
                  "The job belongs to " + Quoted(user.name) + " (user id " +
                      std::to_string(user.uid) + "), a system account (below UID_MIN " +
                      std::to_string(firstUserUid) +
                      "); Mossvane acts only for ordinary users. The job is cancelled.");
}

Refusal RefuseUnprovenOwner(const UserRecord& user, OwnerProof proof, std::string_view queue) {
    switch (proof) {
        case OwnerProof::Proven:
            return {};
        case OwnerProof::NotAuthenticated:
            // Cancelled, not stopping the queue: a user can bring a job
            // without proof onto a well set-up queue (moved from another).
            return Refuse(kBackendCancel,
                          "CUPS did not authenticate the job's user " + Quoted(user.name) +
                              ", so the job may be someone else's; the job is cancelled. A queue "
                              "for Mossvane needs the authenticated operation policy (lpadmin -p " +
                              std::string(queue) + " -o printer-op-policy=authenticated).");
        case OwnerProof::ByPassword:
            return Refuse(kBackendCancel,
                          "CUPS authenticated the job's user " + Quoted(user.name) +
                              " by a password (as over TCP, even from this machine), which "
                              "proves no user id of this machine; the job is cancelled. Print "
                              "through CUPS's local socket (lp does so by default).");
        case OwnerProof::OtherUser:
            return Refuse(kBackendCancel, "CUPS authenticated someone other than the job's user " +
                                              Quoted(user.name) + "; the job is cancelled.");
        case OwnerProof::FromAnotherHost:
            break;
    }
    return Refuse(kBackendCancel,
                  "The job was submitted from another host; Mossvane takes jobs only from users "
                  "of this machine. The job is cancelled.");
}

Refusal RefuseRuntimeFolder(FolderVerdict verdict, std::string_view folder,
                            const UserRecord& user) {
    if (verdict == FolderVerdict::Usable) return {};
    int status = verdict == FolderVerdict::Missing ? kBackendRetry : kBackendCancel;
    return Refuse(status, DescribeFolderVerdict(verdict, folder, user.name));
}

Refusal RefuseUntrustedServer(std::string_view socketPath, const UserRecord& user) {
    return Refuse(kBackendCancel, "The socket " + std::string(socketPath) + " is not the own of " +
                                      Quoted(user.name) +
                                      " or is served by another user; the job is cancelled.");
}

}  // namespace mossvane::cups
