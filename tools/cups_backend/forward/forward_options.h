// The device URI options that send a job on to a network printer which holds
// it until its owner types the same number at the printer: where the printer
// is, how the backend knows it is that printer, how the number is hashed and
// what kind of data the job is. Plain functions over texts, so every form is
// testable without a network.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mossvane::cups::forward {

// forward-hash: which hash of the number goes into job-password.
enum class HashChoice { Auto, None, Sha256, Sha384, Sha512 };

// forward-cert: the SHA-256 of the printer's certificate (DER).
inline constexpr std::size_t kFingerprintSize = 32;
using Fingerprint = std::array<std::uint8_t, kFingerprintSize>;

inline constexpr char kDefaultFormat[] = "application/octet-stream";
inline constexpr int kDefaultIppPort = 631;

struct ForwardOptions {
    std::string printerUri;                  // forward=ipps://host[:port]/path
    bool plainAllowed = false;               // forward-plain=yes lets ipp:// through
    std::optional<Fingerprint> certificate;  // forward-cert=<64 hex digits>
    HashChoice hash = HashChoice::Auto;      // forward-hash=
    std::string format = kDefaultFormat;     // forward-format=type/subtype

    // Taken from printerUri by CheckForwardOptions.
    bool encrypted = true;
    std::string host;
    int port = kDefaultIppPort;
    std::string resource;
    bool detailsGiven = false;  // Some forward-* option was given.

    bool IsSet() const { return !printerUri.empty(); }
};

// Whether key is one of the options above (they all start with "forward").
bool IsForwardOption(std::string_view key);

// Takes one option; false with a message naming it when its value does not
// parse.
bool ApplyForwardOption(std::string_view key, std::string_view value, ForwardOptions& options,
                        std::string& error);

// Once every option is in: the printer URI is ipps (or ipp with
// forward-plain=yes) with a host and no user name, an ipps printer is pinned
// with forward-cert, and no forward-* option stands without forward=. False
// with a message naming the option at fault.
bool CheckForwardOptions(ForwardOptions& options, std::string& error);

// The fingerprint as lower-case hex digits, for messages.
std::string FingerprintText(const Fingerprint& fingerprint);

}  // namespace mossvane::cups::forward
