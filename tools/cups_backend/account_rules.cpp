#include "account_rules.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace mossvane::cups {

namespace {

constexpr std::string_view kUidMinKey = "UID_MIN";
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool ParseUid(std::string_view text, std::uint32_t& uid) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), uid);
    return status == std::errc() && end == text.data() + text.size();
}

// "UID_MIN   1000": the key, blanks, the value; nothing else on the line
// but a comment.
bool ReadUidMinLine(std::string_view line, std::uint32_t& uid) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.substr(0, kUidMinKey.size()) != kUidMinKey) return false;
    std::string_view rest = line.substr(kUidMinKey.size());
    if (rest.empty() || kBlanks.find(rest.front()) == std::string_view::npos) return false;
    return ParseUid(Trim(rest), uid);
}

}  // namespace

std::uint32_t FirstUserUidFromLoginDefs(std::string_view text) {
    std::uint32_t firstUserUid = kDefaultFirstUserUid;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::uint32_t uid = 0;
        // The last setting wins, as it does for the tools that read the file.
        if (ReadUidMinLine(text.substr(0, end), uid)) firstUserUid = uid;
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return firstUserUid;
}

std::uint32_t ReadFirstUserUid(const char* path) {
    std::ifstream file(path);
    if (!file) return kDefaultFirstUserUid;
    std::ostringstream text;
    text << file.rdbuf();
    return FirstUserUidFromLoginDefs(text.str());
}

AccountKind ClassifyAccount(std::uint32_t uid, std::uint32_t firstUserUid) {
    if (uid == 0) return AccountKind::Root;
    if (uid < firstUserUid) return AccountKind::SystemAccount;
    return AccountKind::Ordinary;
}

}  // namespace mossvane::cups
