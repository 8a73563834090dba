#include "client/library/api_text.h"

#include <cstring>
#include <string_view>

#include "client/job_stream.h"
#include "platform/utf8.h"
#include "platform/wipe.h"
#include "wire/wire_format.h"

namespace mossvane::api {

namespace {

constexpr char kEncodedReplacement[] = "\xEF\xBF\xBD";

std::size_t CountOf(std::u16string_view text, char16_t unit) {
    std::size_t count = 0;
    for (char16_t c : text) count += c == unit ? 1 : 0;
    return count;
}

std::size_t CountOf(std::string_view text, std::string_view needle) {
    std::size_t count = 0;
    for (auto at = text.find(needle); at != text.npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

// The decoder turns what is ill-formed into U+FFFD: the text was
// well-formed when every U+FFFD it holds was written as one. (The decoder
// reserves the whole size at once, so no copy is left behind by growing.)
bool FromUtf8(const char* bytes, std::u16string& text) {
    const std::string_view view(bytes);
    text = platform::Utf8ToUtf16(view);
    if (CountOf(text, platform::kReplacementCharacter) == CountOf(view, kEncodedReplacement)) {
        return true;
    }
    platform::WipeText(text);
    return false;
}

bool IsEntryText(std::u16string_view text) {
    return text.find_first_of(u"\r\n") == text.npos;
}

}  // namespace

const char* StatusText(mossvane_status status) {
    switch (status) {
        case MOSSVANE_OK:
            return "success";
        case MOSSVANE_CANCELLED:
            return "the user gave no identification number";
        case MOSSVANE_INVALID_ARGUMENT:
            return "invalid argument";
        case MOSSVANE_BUFFER_TOO_SMALL:
            return "the buffer is too small for the answer";
        case MOSSVANE_NO_SERVER:
            return "no Mossvane server runs for this user";
        case MOSSVANE_BUSY:
            return "the Mossvane server stayed busy";
        case MOSSVANE_TIMEOUT:
            return "the Mossvane server did not respond in time";
        case MOSSVANE_DISCONNECTED:
            return "the Mossvane server ended the connection";
        case MOSSVANE_BAD_ANSWER:
            return "the Mossvane server's answer is not valid";
        case MOSSVANE_NO_END_MARKER:
            return "the job's data lacks the end-of-job marker";
        case MOSSVANE_OUT_OF_MEMORY:
            return "out of memory";
        case MOSSVANE_SYSTEM_ERROR:
            return "system error";
        case MOSSVANE_UNTRUSTED_SERVER:
            return "the user's pipe is served by a process of another user";
        case MOSSVANE_NOT_STORED:
            return "the Mossvane server did not store the job";
        case MOSSVANE_ACCESS_DENIED:
            return "the user's pipe to the Mossvane server may not be opened";
        case MOSSVANE_NAME_TOO_LONG:
            return "the path of the user's pipe to the Mossvane server is too long";
    }
    return "unknown status";
}

bool RequestText(const char* request, std::u16string& text) {
    if (!FromUtf8(request, text)) return false;
    // The text and its null must fit one buffer, and a first byte of the job
    // marker would turn the request into a job message.
    const bool fits = (text.size() + 1) * sizeof(char16_t) <= kPipeBufferSize;
    const bool isRequest = text.empty() || (text[0] & 0xFF) != kJobMarker;
    if (fits && isRequest) return true;
    platform::WipeText(text);
    return false;
}

mossvane_status CopyAnswer(std::u16string_view reply, char* answer, std::size_t size,
                           std::size_t* length) {
    std::string bytes = platform::Utf16ToUtf8(reply);
    const platform::WipeOnExit wipeBytes([&] { platform::WipeText(bytes); });
    if (length != nullptr) *length = bytes.size();
    if (bytes.size() >= size) return MOSSVANE_BUFFER_TOO_SMALL;
    std::memcpy(answer, bytes.c_str(), bytes.size() + 1);
    return MOSSVANE_OK;
}

bool JobInformation(const mossvane_job_info* info, std::size_t count, ParamMap& information) {
    if (info == nullptr && count > 0) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (info[i].key == nullptr || info[i].value == nullptr) return false;
        std::u16string key;
        std::u16string value;
        const platform::WipeOnExit wipeValue([&] { platform::WipeText(value); });
        const bool valid = FromUtf8(info[i].key, key) && FromUtf8(info[i].value, value) &&
                           !key.empty() && key.find(u'=') == key.npos && IsEntryText(key) &&
                           IsEntryText(value);
        if (!valid) return false;
        information.insert_or_assign(std::move(key), std::move(value));
    }
    return client::InformationFits(information);
}

void WipeInformation(ParamMap& information) {
    for (auto& entry : information) platform::WipeText(entry.second);
    information.clear();
}

mossvane_status StatusOfServerEnd(client::ServerEnd end, bool endsWithMarker) {
    switch (end) {
        case client::ServerEnd::Closed:
            return endsWithMarker ? MOSSVANE_OK : MOSSVANE_NO_END_MARKER;
        case client::ServerEnd::NotStored:
            return endsWithMarker ? MOSSVANE_NOT_STORED : MOSSVANE_NO_END_MARKER;
        case client::ServerEnd::EndedEarly:
            return MOSSVANE_DISCONNECTED;
        case client::ServerEnd::TimedOut:
            return MOSSVANE_TIMEOUT;
        case client::ServerEnd::Failed:
            break;
    }
    return MOSSVANE_SYSTEM_ERROR;
}

}  // namespace mossvane::api
