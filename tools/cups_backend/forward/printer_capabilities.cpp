#include "printer_capabilities.h"

#include <algorithm>
#include <array>

#include "backend_status.h"

namespace mossvane::cups::forward {

namespace {

// Strongest first: what auto picks from.
constexpr std::array<const char*, 3> kShaByStrength = {"sha2-512", "sha2-384", "sha2-256"};
constexpr char kNoEncryption[] = "none";

bool Lists(const std::vector<std::string>& values, std::string_view value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::vector<std::string> Strings(ipp_t* response, const char* name) {
    std::vector<std::string> values;
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(attribute); ++i) {
        const char* value = ippGetString(attribute, i, nullptr);
        if (value != nullptr) values.emplace_back(value);
    }
    return values;
}

const char* Keyword(HashChoice choice) {
    switch (choice) {
        case HashChoice::None:
            return kNoEncryption;
        case HashChoice::Sha256:
            return "sha2-256";
        case HashChoice::Sha384:
            return "sha2-384";
        case HashChoice::Sha512:
            return "sha2-512";
        case HashChoice::Auto:
            break;
    }
    return "";
}

// The longest and shortest number the printer takes, by both attributes.
std::pair<std::size_t, std::size_t> NumberLimits(const PrinterFacts& facts) {
    int longest = facts.longestPassword.value_or(0);
    int shortest = 0;
    if (facts.passwordLengths) {
        shortest = facts.passwordLengths->first;
        longest = std::min(longest, facts.passwordLengths->second);
    }
    return {static_cast<std::size_t>(std::max(shortest, 0)),
            static_cast<std::size_t>(std::max(longest, 0))};
}

Verdict Refusal(int status, std::string message) {
    return Verdict{status, std::move(message)};
}

}  // namespace

PrinterFacts ReadPrinterFacts(ipp_t* response) {
    PrinterFacts facts;
    if (ipp_attribute_t* accepting =
            ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN)) {
        facts.acceptingJobs = ippGetBoolean(accepting, 0) != 0;
    }
    if (ipp_attribute_t* longest =
            ippFindAttribute(response, "job-password-supported", IPP_TAG_INTEGER)) {
        facts.longestPassword = ippGetInteger(longest, 0);
    }
    if (ipp_attribute_t* lengths =
            ippFindAttribute(response, "job-password-length-supported", IPP_TAG_RANGE)) {
        int upper = 0;
        int lower = ippGetRange(lengths, 0, &upper);
        facts.passwordLengths = std::make_pair(lower, upper);
    }
    facts.encryptions = Strings(response, "job-password-encryption-supported");
    facts.formats = Strings(response, "document-format-supported");
    return facts;
}

std::string ChooseEncryption(HashChoice choice, const std::vector<std::string>& offered) {
    if (choice != HashChoice::Auto) return Lists(offered, Keyword(choice)) ? Keyword(choice) : "";
    for (const char* sha : kShaByStrength) {
        if (Lists(offered, sha)) return sha;
    }
    return Lists(offered, kNoEncryption) ? kNoEncryption : "";
}

Verdict JudgePrinter(const PrinterFacts& facts, const ForwardOptions& options,
                     std::string& encryption) {
    if (!facts.acceptingJobs) {
        return Refusal(kBackendRetry,
                       "The printer does not accept jobs now (it says so); the job "
                       "will be tried again later.");
    }
    auto [shortest, longest] = NumberLimits(facts);
    if (!facts.longestPassword || longest < kShortestNumber || shortest > kLongestNumber ||
        shortest > longest) {
        return Refusal(kBackendStop,
                       "The printer can't hold a job until its owner releases it "
                       "(job-password-supported is missing, or it takes no number of 4 to 20 "
                       "digits); forward jobs to a printer that can.");
    }
    encryption = ChooseEncryption(options.hash, facts.encryptions);
    if (encryption.empty()) {
        return Refusal(kBackendStop,
                       "The printer offers no job-password-encryption that "
                       "forward-hash allows; set forward-hash to one it lists.");
    }
    if (!facts.formats.empty() && !Lists(facts.formats, options.format)) {
        return Refusal(kBackendCancel, "The printer does not take " + options.format +
                                           " (forward-format); the job is cancelled.");
    }
    return Verdict{};
}

Verdict JudgeNumberLength(std::size_t digits, const PrinterFacts& facts) {
    auto [shortest, longest] = NumberLimits(facts);
    if (digits >= shortest && digits <= longest) return Verdict{};
    return Refusal(kBackendCancel, "The printer takes numbers of " + std::to_string(shortest) +
                                       " to " + std::to_string(longest) +
                                       " digits, and the number given has " +
                                       std::to_string(digits) + "; the job is cancelled.");
}

}  // namespace mossvane::cups::forward
