// Whether CUPS vouches for the job's user. The user name on the command line
// is only what the submitter claimed; CUPS proves a local submitter's
// identity (peer credentials on its local socket) only when the queue's
// operation policy asks for authentication, and then tells the backend the
// proven uid in AUTH_UID. The backend acts for nobody else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mossvane::cups {

inline constexpr char kAuthUidVariable[] = "AUTH_UID";
// What CUPS passes for a submitter who authenticated with a password (Basic
// authentication, over TCP even from this machine) or a network ticket.
inline constexpr const char* kOtherAuthVariables[] = {"AUTH_USERNAME", "AUTH_PASSWORD",
                                                      "AUTH_NEGOTIATE"};
inline constexpr char kOriginatingHostOption[] = "job-originating-host-name";

enum class OwnerProof {
    Proven,            // AUTH_UID names the job user, and the job came from this host.
    NotAuthenticated,  // Nothing: the queue does not authenticate its submitters.
    ByPassword,        // A password or ticket, which proves no uid of this machine.
    OtherUser,         // AUTH_UID names someone else, or is not a uid.
    FromAnotherHost,   // Submitted over the network, or from nowhere CUPS said.
};

struct CupsAuthentication {
    const char* uid = nullptr;  // AUTH_UID's value; null when unset.
    bool byOtherMeans = false;  // Any of kOtherAuthVariables is set.
};

// options is the job's option text, argv[5], in which CUPS names the
// submitting host.
OwnerProof CheckJobOwner(std::uint32_t jobUid, const CupsAuthentication& authentication,
                         std::string_view options);

// The value of one option in CUPS's option text ("a=1 b='x y' c"), with its
// quotes and backslash escapes taken off; nothing when it is absent.
std::optional<std::string> FindJobOption(std::string_view options, std::string_view name);

// The names under which CUPS records a job submitted on this machine.
bool IsThisHost(std::string_view hostName);

}  // namespace mossvane::cups
