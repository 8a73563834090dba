#include "job_owner.h"

#include <charconv>

#include "backend_arguments.h"

namespace mossvane::cups {

namespace {

bool ParseUid(std::string_view text, std::uint32_t& uid) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), uid);
    return status == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<std::string> FindJobOption(std::string_view options, std::string_view name) {
    std::optional<std::string> value;
    for (JobOption& option : SplitJobOptions(options)) {
        if (option.name == name) value = std::move(option.value).value_or("");
    }
    return value;
}

bool IsThisHost(std::string_view hostName) {
    return hostName == "localhost" || hostName.substr(0, 4) == "127." || hostName == "::1" ||
           hostName == "[::1]" || hostName == "[v1.::1]";
}

OwnerProof CheckJobOwner(std::uint32_t jobUid, const CupsAuthentication& authentication,
                         std::string_view options) {
    const char* authUid = authentication.uid;
    if (authUid == nullptr || authUid[0] == '\0') {
        return authentication.byOtherMeans ? OwnerProof::ByPassword : OwnerProof::NotAuthenticated;
    }
    std::uint32_t provenUid = 0;
    if (!ParseUid(authUid, provenUid) || provenUid != jobUid) return OwnerProof::OtherUser;
    // A remote submitter's uid belongs to another machine's user database.
    std::optional<std::string> host = FindJobOption(options, kOriginatingHostOption);
    if (!host || !IsThisHost(*host)) return OwnerProof::FromAnotherHost;
    return OwnerProof::Proven;
}

}  // namespace mossvane::cups
