#include "ui/posix/dialog_channel.h"

#include <poll.h>
#include <string.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/utf8.h"
#include "platform/wipe.h"
#include "ui/dialog_constants.h"

namespace mossvane::dialog_helper {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::WipeText;

namespace {

constexpr std::size_t kLengthBytes = 4;

void AppendLength(std::string& out, std::size_t length) {
    for (std::size_t i = 0; i < kLengthBytes; ++i) {
        out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    }
}

std::size_t ReadLength(std::string_view bytes) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i) {
        length |= static_cast<std::size_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return length;
}

}  // namespace

std::string EncodeRecords(const std::vector<std::u16string>& records) {
    std::string out;
    for (const std::u16string& record : records) {
        std::string utf8 = Utf16ToUtf8(record);
        AppendLength(out, utf8.size());
        out.append(utf8);
        WipeText(utf8);
    }
    return out;
}

bool DecodeRecords(std::string_view bytes, std::vector<std::u16string>& records) {
    records.clear();
    while (!bytes.empty()) {
        if (bytes.size() < kLengthBytes) return false;
        const std::size_t length = ReadLength(bytes);
        bytes.remove_prefix(kLengthBytes);
        if (length > bytes.size()) return false;
        records.push_back(Utf8ToUtf16(bytes.substr(0, length)));
        bytes.remove_prefix(length);
    }
    return true;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

namespace {

// Whether data (or the peer's end) is there to read; false when `giveUpWhen`
// came to hold first.
bool WaitForData(int fd, const std::function<bool()>& giveUpWhen) {
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(kCloseCheckMilliseconds));
        if (ready != 0) return true;  // Readable, or an error the read reports.
        if (giveUpWhen()) return false;
    }
}

}  // namespace

Received ReceiveAllUnless(int fd, std::string& bytes, const std::function<bool()>& giveUpWhen) {
    char chunk[4096];
    // An answer that fits one chunk never moves to a bigger block, which
    // would leave the number in the freed one.
    bytes.reserve(sizeof chunk);
    for (;;) {
        if (giveUpWhen && !WaitForData(fd, giveUpWhen)) return Received::GaveUp;
        const ssize_t received = recv(fd, chunk, sizeof chunk, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received < 0) return Received::Failed;
        if (received == 0) return Received::All;
        if (bytes.size() + static_cast<std::size_t>(received) > kMaxChannelBytes) {
            explicit_bzero(chunk, sizeof chunk);
            return Received::Failed;
        }
        bytes.append(chunk, static_cast<std::size_t>(received));
        explicit_bzero(chunk, sizeof chunk);
    }
}

bool ReceiveAll(int fd, std::string& bytes) {
    return ReceiveAllUnless(fd, bytes, {}) == Received::All;
}

}  // namespace mossvane::dialog_helper
