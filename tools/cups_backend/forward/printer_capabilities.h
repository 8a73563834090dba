// What a printer tells about itself that decides, before anyone is asked
// for a number, whether it can hold a job until its owner releases it, and
// afterwards whether the number given fits. The rules are plain functions
// over the facts, testable without a printer; ReadPrinterFacts takes the
// facts from the printer's answer to Get-Printer-Attributes.
#pragma once

#include <cups/ipp.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "forward_options.h"

namespace mossvane::cups::forward {

// The dialog gives 4 to 20 digits; a printer that takes no number of such
// a length can't hold any job of ours.
inline constexpr std::size_t kShortestNumber = 4;
inline constexpr std::size_t kLongestNumber = 20;

struct PrinterFacts {
    bool acceptingJobs = true;                           // printer-is-accepting-jobs
    std::optional<int> longestPassword;                  // job-password-supported
    std::optional<std::pair<int, int>> passwordLengths;  // job-password-length-supported
    std::vector<std::string> encryptions;                // job-password-encryption-supported
    std::vector<std::string> formats;                    // document-format-supported
};

// The attributes the backend asks the printer for.
inline constexpr const char* kPrinterAttributes[] = {
    "printer-is-accepting-jobs", "job-password-supported", "job-password-length-supported",
    "job-password-encryption-supported", "document-format-supported"};

PrinterFacts ReadPrinterFacts(ipp_t* response);

struct Verdict {
    int status = 0;  // A BackendStatus; 0 lets the job go on.
    std::string message;
};

// The job-password-encryption keyword to send: for auto the strongest SHA-2
// the printer lists, else none; for any other choice that one. Empty when
// the printer does not list it.
std::string ChooseEncryption(HashChoice choice, const std::vector<std::string>& offered);

// Before the dialog: a printer that does not accept jobs now is tried again
// later; one that can't hold a job for a number, or has no encryption that
// matches forward-hash, stops the queue; one that refuses the data's format
// cancels the job. encryption receives the keyword to send.
Verdict JudgePrinter(const PrinterFacts& facts, const ForwardOptions& options,
                     std::string& encryption);

// After the dialog: a number with more or fewer digits than the printer
// takes cancels the job.
Verdict JudgeNumberLength(std::size_t digits, const PrinterFacts& facts);

}  // namespace mossvane::cups::forward
