#include "job_owner.h"

#include <charconv>

namespace mossvane::cups {

namespace {

constexpr std::string_view kSpaces = " \t";

bool ParseUid(std::string_view text, std::uint32_t& uid) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), uid);
    return status == std::errc() && end == text.data() + text.size();
}

// One word of the option text from position at: quotes group, a backslash
// takes the next character as it is. at ends after the word.
std::string ReadWord(std::string_view options, std::size_t& at) {
    std::string word;
    char quote = 0;
    for (; at < options.size(); ++at) {
        char c = options[at];
        if (quote == 0 && kSpaces.find(c) != std::string_view::npos) break;
        if (c == '\\' && at + 1 < options.size()) {
            word += options[++at];
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (quote == 0 && (c == '\'' || c == '"')) {
            quote = c;
        } else {
            word += c;
        }
    }
    return word;
}

}  // namespace

std::optional<std::string> FindJobOption(std::string_view options, std::string_view name) {
    std::optional<std::string> value;
    std::size_t at = 0;
    while (at < options.size()) {
        at = options.find_first_not_of(kSpaces, at);
        if (at == std::string_view::npos) break;
        std::string word = ReadWord(options, at);
        std::size_t equals = word.find('=');
        if (word.substr(0, equals) != name) continue;
        value = equals == std::string::npos ? std::string() : word.substr(equals + 1);
    }
    return value;
}

bool IsThisHost(std::string_view hostName) {
    return hostName == "localhost" || hostName.substr(0, 4) == "127." || hostName == "::1" ||
           hostName == "[::1]" || hostName == "[v1.::1]";
}

OwnerProof CheckJobOwner(std::uint32_t jobUid, const char* authUid, std::string_view options) {
    if (authUid == nullptr || authUid[0] == '\0') return OwnerProof::NotAuthenticated;
    std::uint32_t provenUid = 0;
    if (!ParseUid(authUid, provenUid) || provenUid != jobUid) return OwnerProof::OtherUser;
    // A remote submitter's uid belongs to another machine's user database.
    std::optional<std::string> host = FindJobOption(options, kOriginatingHostOption);
    if (!host || !IsThisHost(*host)) return OwnerProof::FromAnotherHost;
    return OwnerProof::Proven;
}

}  // namespace mossvane::cups
