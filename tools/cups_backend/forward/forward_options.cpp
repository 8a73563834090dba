#include "forward_options.h"

#include <cups/http.h>

#include <array>

namespace mossvane::cups::forward {

namespace {

constexpr std::string_view kForward = "forward";
constexpr std::string_view kPlain = "forward-plain";
constexpr std::string_view kCertificate = "forward-cert";
constexpr std::string_view kHash = "forward-hash";
constexpr std::string_view kFormat = "forward-format";
constexpr std::size_t kLongestFormat = 255;

struct HashName {
    std::string_view name;
    HashChoice choice;
};

constexpr std::array<HashName, 5> kHashNames = {{{"auto", HashChoice::Auto},
                                                 {"none", HashChoice::None},
                                                 {"sha2-256", HashChoice::Sha256},
                                                 {"sha2-384", HashChoice::Sha384},
                                                 {"sha2-512", HashChoice::Sha512}}};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 64 hex digits, in either case, with or without a colon between bytes (as
// sha256sum and "openssl x509 -fingerprint" print them).
bool ParseFingerprint(std::string_view text, Fingerprint& fingerprint) {
    std::size_t digits = 0;
    bool afterColon = false;
    for (char c : text) {
        if (c == ':') {
            if (digits == 0 || digits % 2 != 0 || afterColon) return false;
            afterColon = true;
            continue;
        }
        afterColon = false;
        int value = HexValue(c);
        if (value < 0 || digits == 2 * kFingerprintSize) return false;
        std::uint8_t& byte = fingerprint[digits / 2];
        byte = static_cast<std::uint8_t>(digits % 2 == 0 ? value << 4 : byte | value);
        ++digits;
    }
    return digits == 2 * kFingerprintSize && !afterColon;
}

// "type/subtype" with the characters RFC 6838 allows in names.
bool IsMediaType(std::string_view text) {
    constexpr std::string_view kNameCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!#$&^_.+-";
    std::size_t slash = text.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == text.size()) return false;
    if (text.size() > kLongestFormat) return false;
    std::string_view type = text.substr(0, slash);
    std::string_view subtype = text.substr(slash + 1);
    return type.find_first_not_of(kNameCharacters) == std::string_view::npos &&
           subtype.find_first_not_of(kNameCharacters) == std::string_view::npos;
}

bool ApplyHash(std::string_view value, HashChoice& choice) {
    for (const HashName& entry : kHashNames) {
        if (entry.name == value) {
            choice = entry.choice;
            return true;
        }
    }
    return false;
}

bool Refuse(std::string_view key, std::string_view value, std::string_view expected,
            std::string& error) {
    error = "the value \"" + std::string(value) + "\" of " + std::string(key) +
            " in the device URI is not " + std::string(expected);
    return false;
}

// Host, port and path of the printer URI; the scheme decides encryption.
bool SplitPrinterUri(ForwardOptions& options, std::string& error) {
    char scheme[32];
    char userInfo[256];
    char host[256];
    char resource[1024];
    int port = 0;
    http_uri_status_t status = httpSeparateURI(HTTP_URI_CODING_ALL, options.printerUri.c_str(),
                                               scheme, sizeof scheme, userInfo, sizeof userInfo,
                                               host, sizeof host, &port, resource, sizeof resource);
    std::string_view schemeText = scheme;
    if (status < HTTP_URI_STATUS_OK || (schemeText != "ipps" && schemeText != "ipp") ||
        host[0] == '\0') {
        return Refuse(kForward, options.printerUri, "an ipps://host[:port]/path URI", error);
    }
    // A user name or password in the URI would be shown wherever CUPS shows
    // the queue's device.
    if (userInfo[0] != '\0') {
        return Refuse(kForward, options.printerUri, "a URI without a user name", error);
    }
    options.encrypted = schemeText == "ipps";
    options.host = host;
    options.port = port;
    options.resource = resource[0] != '\0' ? resource : "/";
    return true;
}

}  // namespace

bool IsForwardOption(std::string_view key) {
    return key == kForward || key == kPlain || key == kCertificate || key == kHash ||
           key == kFormat;
}

bool ApplyForwardOption(std::string_view key, std::string_view value, ForwardOptions& options,
                        std::string& error) {
    options.detailsGiven = options.detailsGiven || key != kForward;
    if (key == kForward) {
        options.printerUri = value;
        return true;
    }
    if (key == kPlain) {
        if (value != "yes" && value != "no") return Refuse(key, value, "yes or no", error);
        options.plainAllowed = value == "yes";
        return true;
    }
    if (key == kCertificate) {
        Fingerprint fingerprint{};
        if (!ParseFingerprint(value, fingerprint)) {
            return Refuse(key, value, "a SHA-256 fingerprint (64 hex digits)", error);
        }
        options.certificate = fingerprint;
        return true;
    }
    if (key == kHash) {
        if (ApplyHash(value, options.hash)) return true;
        return Refuse(key, value, "auto, none, sha2-256, sha2-384 or sha2-512", error);
    }
    if (!IsMediaType(value))
        return Refuse(key, value, "a MIME type such as " + std::string(kDefaultFormat), error);
    options.format = value;
    return true;
}

bool CheckForwardOptions(ForwardOptions& options, std::string& error) {
    if (!options.IsSet()) {
        if (!options.detailsGiven) return true;
        error = "forward-plain, forward-cert, forward-hash and forward-format need forward=URI";
        return false;
    }
    if (!SplitPrinterUri(options, error)) return false;
    if (!options.encrypted && !options.plainAllowed) {
        error = "forward=" + options.printerUri +
                " sends the number unencrypted; set forward-plain=yes to allow that, or use ipps";
        return false;
    }
    if (!options.encrypted && options.certificate) {
        error = "forward-cert can't be checked on an unencrypted ipp:// connection; use ipps";
        return false;
    }
    // The client library takes any certificate a printer shows, so without
    // a pin anyone on the path could pose as the printer and read the number.
    if (options.encrypted && !options.certificate) {
        error = "forward=" + options.printerUri +
                " needs forward-cert=<SHA-256 of the printer's certificate>";
        return false;
    }
    return true;
}

std::string FingerprintText(const Fingerprint& fingerprint) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : fingerprint) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace mossvane::cups::forward
