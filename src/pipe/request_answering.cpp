#include "pipe/request_answering.h"

#include <string>

#include "log/debug_print.h"
#include "params/param_map.h"
#include "params/param_text.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"

namespace mossvane {

namespace {

constexpr char16_t kExitCommand[] = u"EXIT";

std::u16string ToUpperAscii(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return text;
}

std::uint32_t TextLength(const char16_t* text) {
    std::uint32_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace

void RequestAnswering::GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                          std::uint32_t* answerLength) {
    *answerLength = 0;
    answer[0] = 0;

    ParamMap params;
    ParseParamText(request, TextLength(request), params);
    std::u16string command = ToUpperAscii(GetParam(params, kCommandKey));
    DebugPrint(u"[PI] param: %s", FormatParamText(params));

    if (command == kExitCommand) {
        platform::OutputDebugText(u"[PI] GetAnswerToRequest() - Exit");
        Server().exitEvent.Set();
    }
    *answerLength = static_cast<std::uint32_t>((TextLength(answer) + 1) * sizeof(char16_t));
}

}  // namespace mossvane
