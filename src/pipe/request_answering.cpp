#include "pipe/request_answering.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "l10n/my_localizer.h"
#include "log/common_logger.h"
#include "log/debug_print.h"
#include "log/log_settings.h"
#include "params/param_map.h"
#include "params/param_text.h"
#include "pipe/exit_check.h"
#include "pipe/pipe_constants.h"
#include "pipe/pipe_server.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"
#include "platform/system_info.h"
#include "platform/utf8.h"
#include "platform/wipe.h"

namespace mossvane {

namespace {

constexpr char16_t kGetInfoCommand[] = u"GETINFO";
constexpr char16_t kExitCommand[] = u"EXIT";
// "[Result]\nRETURN=OK\nPhoneNumber=%s\n", put together around the number in
// the answer buffer itself, so that no other copy of the number is made.
constexpr char16_t kAnswerOkBeforeNumber[] = u"[Result]\nRETURN=OK\nPhoneNumber=";
constexpr char16_t kAnswerOkAfterNumber[] = u"\n";
constexpr char16_t kAnswerCancel[] = u"[Result]\nRETURN=CANCEL\n";
constexpr std::int32_t kDialogConfirmed = 1;
constexpr std::uint32_t kWaitStepMilliseconds = 10;

// The prompt and its guard are never destroyed: connection threads are
// never joined, so one may still be waiting for its turn while the process
// ends and runs its static destructors, and must find them intact.
struct PromptSlot {
    std::mutex guard;
    std::shared_ptr<const NumberPrompt> prompt;
};

PromptSlot& Prompt() {
    static PromptSlot* slot = new PromptSlot();
    return *slot;
}

std::shared_ptr<const NumberPrompt> CurrentPrompt() {
    PromptSlot& slot = Prompt();
    std::lock_guard<std::mutex> guard(slot.guard);
    return slot.prompt;
}

// The leveled trace of one call: the Enter line now, the Leave line when the
// call is over.
class TracedCall {
  public:
    explicit TracedCall(std::u16string_view functionName)
        : m_logger(kLogSettingsKey), m_function(functionName) {
        if (m_logger.IsEnabled() != 0) {
            m_logger.Log(kLoggerName, m_function, nullptr, kLogLevelEnterLeave, LogKind::Enter);
        }
    }
    ~TracedCall() { m_logger.LogReturn(kLoggerName, m_function, kLogLevelEnterLeave, u""); }
    TracedCall(const TracedCall&) = delete;
    TracedCall& operator=(const TracedCall&) = delete;

    // A trace line that can't be written is dropped: tracing must never
    // break off a request waiting in the dialog queue.
    template <typename... Args>
    void Param(std::u16string_view format, const Args&... args) noexcept {
        try {
            m_logger.LogParam(kLoggerName, m_function, kLogLevelMessage, format, args...);
        } catch (...) {
        }
    }

  private:
    CommonLogger m_logger;
    std::u16string_view m_function;
};

std::uint32_t TextLength(const char16_t* text) {
    std::uint32_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

// Copies the pieces one after the other into the answer buffer, cut to fit
// with its terminator.
void PutAnswer(std::initializer_list<std::u16string_view> pieces, char16_t* answer) {
    std::size_t length = 0;
    for (std::u16string_view piece : pieces) {
        const std::size_t taken = std::min(piece.size(), kAnswerCapacity - 1 - length);
        std::copy_n(piece.data(), taken, answer + length);
        length += taken;
    }
    answer[length] = 0;
}

// A request that came from no connection (a test's call): its client never
// goes, and nothing waits for its answer.
class NoConnection : public RequestClient {
  public:
    bool HasGone() override { return false; }
    void HoldStopUntilAnswered() override {}
};

// Raises CurrentNo when it goes, unless dismissed: once a ticket is drawn the
// next one's dialog must be let through whatever happens to this request, or
// the queue would stall for good.
class TurnRelease {
  public:
    TurnRelease() = default;
    ~TurnRelease() {
        if (m_armed) ++Server().CurrentNo;
    }
    TurnRelease(const TurnRelease&) = delete;
    TurnRelease& operator=(const TurnRelease&) = delete;

    void Dismiss() { m_armed = false; }

  private:
    bool m_armed = true;
};

// Shows the dialog on the prompt's terms; -1 when there is no prompt.
std::int32_t ShowDialog(std::u16string& number, RequestClient& client) {
    const std::shared_ptr<const NumberPrompt> prompt = CurrentPrompt();
    if (!prompt || !*prompt) return -1;
    try {
        return (*prompt)(number, [&client] { return client.HasGone(); });
    } catch (...) {
        platform::WipeText(number);
        throw;
    }
}

// Shows the dialog once the turn has come and puts the answer in place; the
// turn passes on when this returns or throws. A client that has gone gets
// no dialog, or has its dialog closed, and the next in line comes.
void AnswerInTurn(TracedCall& trace, char16_t* answer, RequestClient& client) {
    TurnRelease release;
    if (client.HasGone()) {
        platform::OutputDebugText(u"[PI] GetInfo: the client has gone, no dialog is shown");
        PutAnswer({kAnswerCancel}, answer);
        return;
    }
    std::u16string number;
    const std::int32_t result = ShowDialog(number, client);
    if (result == kDialogConfirmed) {
        PutAnswer({kAnswerOkBeforeNumber, number, kAnswerOkAfterNumber}, answer);
    } else {
        trace.Param(u"CANCEL");
        PutAnswer({kAnswerCancel}, answer);
        if (client.HasGone()) {
            platform::OutputDebugText(u"[PI] GetInfo: the client has gone, its dialog was closed");
        }
    }
    platform::WipeText(number);
}

void AnswerGetInfo(TracedCall& trace, char16_t* answer, RequestClient& client) {
    trace.Param(u"GetInfo");
    try {
        PipeServer::InitInfo();
        AnswerInTurn(trace, answer, client);
    } catch (const std::exception& error) {
        // Nothing may leave the connection thread this way; the client gets
        // the answer of a dialog that could not be shown.
        DebugPrint(u"[PI] GetInfo failed: %s", platform::Utf8ToUtf16(error.what()));
        PutAnswer({kAnswerCancel}, answer);
    } catch (...) {
        platform::OutputDebugText(u"[PI] GetInfo failed");
        PutAnswer({kAnswerCancel}, answer);
    }
    ConfirmServerTerminate();
}

}  // namespace

void SetNumberPrompt(NumberPrompt prompt) {
    auto fresh = std::make_shared<const NumberPrompt>(std::move(prompt));
    PromptSlot& slot = Prompt();
    std::lock_guard<std::mutex> guard(slot.guard);
    slot.prompt = std::move(fresh);
}

void PipeServer::GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                    std::uint32_t* answerLength) {
    NoConnection client;
    GetAnswerToRequest(request, answer, answerLength, client);
}

void PipeServer::GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                    std::uint32_t* answerLength, RequestClient& client) {
    TracedCall trace(u"PipeServer::GetAnswerToRequest");
    GetLocalizer();  // The first request makes the localizer.
    *answerLength = 0;
    answer[0] = 0;

    ParamMap params;
    ParseParamText(request, TextLength(request), params);
    std::u16string command = GetCommandUpperCase(params);
    DebugPrint(u"[PI] param: %s", FormatParamText(params));
    WipeParams(params);

    if (command == kGetInfoCommand) {
        AnswerGetInfo(trace, answer, client);
    } else if (command == kExitCommand) {
        platform::OutputDebugText(u"[PI] GetAnswerToRequest() - Exit");
        // The process must not end before the client that asked has its
        // answer.
        client.HoldStopUntilAnswered();
        Server().exitRequested = true;
        Server().exitEvent.Set();
    }
    *answerLength = static_cast<std::uint32_t>((TextLength(answer) + 1) * sizeof(char16_t));
}

void PipeServer::InitInfo() {
    TracedCall trace(u"PipeServer::InitInfo");
    ServerState& state = Server();
    std::int32_t myNumber = 0;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        myNumber = ++state.MySeqNo;
    }
    for (;;) {
        trace.Param(u"MySeqNo : %d, CurrentNo : %d", myNumber, state.CurrentNo.load());
        if (myNumber > state.CurrentNo.load()) trace.Param(u"PI is existing");
        state.turnEvent.Wait();
        std::int32_t current = state.CurrentNo.load();
        // A ticket behind the current one can't happen; it must not wait forever.
        if (myNumber <= current) break;
        platform::SleepMilliseconds(static_cast<std::uint32_t>(myNumber - current) *
                                    kWaitStepMilliseconds);
    }
    // The turn has come: should installing the fresh event fail, the turn
    // passes on at once; otherwise the caller passes it on after its dialog.
    TurnRelease release;
    state.turnEvent.Replace();
    release.Dismiss();
}

}  // namespace mossvane
