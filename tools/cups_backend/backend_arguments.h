// What CUPS hands the backend: the command line, the device URI and its
// options, and how they turn into the job information the server stores.
// Plain functions over texts, so every form is testable without CUPS.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forward/forward_options.h"
#include "params/param_map.h"

namespace mossvane::cups {

// The scheme of the device URI, "mossvane:/".
inline constexpr char kScheme[] = "mossvane";

// The line "lpinfo -v" shows for this backend.
inline constexpr char kDiscoveryLine[] =
    "direct mossvane:/ \"Unknown\" \"Mossvane server of the job's user\"\n";

// Where the users' runtime folders are, and the variable that moves them
// (for tests, or systems that keep them elsewhere).
inline constexpr char kDefaultRuntimeRoot[] = "/run/user";
inline constexpr char kRuntimeRootVariable[] = "MOSSVANE_CUPS_RUNTIME_ROOT";

// The job as CUPS describes it: job-id user title copies options [file].
struct JobArguments {
    std::uint32_t jobId = 0;
    std::string user;
    std::string title;
    std::uint32_t copies = 1;
    std::string options;
    std::optional<std::string> file;  // Standard input when absent.
};

enum class BackendMode { Discovery, Job };

struct CommandLine {
    BackendMode mode = BackendMode::Discovery;
    JobArguments job;
};

// The arguments after argv[0]: none for discovery, five or six for a job.
// False with a message in error when they don't fit either form.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& commandLine,
                      std::string& error);

// How long the user has to answer the number dialog, and how long one read
// or write of the job may wait for the server; long enough for a person and
// a busy machine, short enough that a forgotten dialog or a hung server
// frees the queue again.
inline constexpr std::chrono::seconds kDefaultNumberTimeout{180};
inline constexpr std::chrono::seconds kDefaultDataTimeout{60};
inline constexpr std::chrono::seconds kLongestTimeout{86400};

// The whole job may take the dialog's time, the wait for the server's end
// of the connection, and this much for the data: several gigabytes at the
// tens of megabytes a second that a local socket and a busy disk manage.
// With the defaults that is 600 seconds, far below CUPS's MaxJobTime.
inline constexpr std::chrono::seconds kDataAllowance{360};

// The options given in the device URI's query,
// "mossvane:/?pin=ask&pin-timeout=120&data-timeout=30&job-timeout=900".
struct DeviceOptions {
    bool askForNumber = false;                                   // pin=ask: GETINFO before the job.
    std::chrono::seconds numberTimeout = kDefaultNumberTimeout;  // pin-timeout=SECONDS
    std::chrono::seconds dataTimeout = kDefaultDataTimeout;      // data-timeout=SECONDS
    // job-timeout=SECONDS: the deadline for everything done as the job's
    // user; by default pin-timeout + data-timeout + kDataAllowance.
    std::chrono::seconds jobTimeout{0};
    forward::ForwardOptions forward;  // forward=URI and forward-*: secure release.
};

// CUPS puts the full URI into DEVICE_URI and a cleaned copy into argv[0];
// the variable wins, and argv[0] counts only when it is a URI of ours.
std::string ChooseDeviceUri(const char* deviceUriVariable, std::string_view argv0);

// False with a message for another scheme, a path other than "/", an
// unknown option or an unknown option value; a time-out is 1 to 86400
// seconds. Fills in the default job-timeout when the URI has none.
bool ParseDeviceUri(std::string_view uri, DeviceOptions& options, std::string& error);

// The runtime folder root: the variable's value when set, else /run/user.
std::string RuntimeRoot(const char* runtimeRootVariable);

// The runtime folder of a user: "<root>/<uid>".
std::string UserRuntimeFolder(std::string_view runtimeRoot, std::uint32_t uid);

// The socket of that user's server, as the server names it.
std::string UserSocketPath(std::string_view runtimeRoot, std::uint32_t uid,
                           std::string_view userName);

// One option of CUPS's option text ("a=1 b='x y' c"), as CUPS separates
// them: by blanks outside quotes, a backslash taking the next character as
// it is.
struct JobOption {
    std::string_view text;             // As written, quotes and escapes included.
    std::string name;                  // Up to the first "=", quotes and escapes taken off.
    std::optional<std::string> value;  // After it; nothing for a bare name.
};

std::vector<JobOption> SplitJobOptions(std::string_view options);

// Whether an option carries a secret that must never be recorded or passed
// on: any name that ends in "password" (job-password, document-password,
// ...) or "password-encryption", in any letter case.
bool IsSecretOptionName(std::string_view name);

// The option text without the secret options, the others as written,
// separated by single spaces.
std::string WithoutSecretOptions(std::string_view options);

// A value for the job information: a line break or null character would
// end the entry early and let the rest pose as an entry of its own, so each
// becomes a space.
std::u16string InformationValue(std::string_view utf8);

// User, Title, Copies, Options (without the secret ones) and JobId.
ParamMap BuildJobInformation(const JobArguments& job);

struct OptionsFit {
    bool fits = false;
    std::size_t dropped = 0;  // Options left out, from the end of the text.
    std::size_t total = 0;    // Options there were.
};

// The job information must fit one END_JOB message. When it does not,
// whole options are left out of Options, from the end, until it does (the
// other entries are short and needed). fits is false when even no options
// at all are too many.
OptionsFit FitOptionsIntoInformation(ParamMap& information);

}  // namespace mossvane::cups
