// Answers to request messages and the order of identification-number dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mossvane {

// The connection a request came on, as far as answering it needs to know.
class RequestClient {
  public:
    virtual ~RequestClient() = default;
    // Whether the client that sent the request has gone (ended its side of
    // the connection). Asked when a GETINFO's turn comes and while its
    // dialog is shown: nobody could take the number typed for a client
    // that is gone.
    virtual bool HasGone() = 0;
    // Called by an EXIT request before it sets the exit event: the stop
    // then waits until the answer has reached the client.
    virtual void HoldStopUntilAnswered() = 0;
};

// Asked by a dialog now and then while it waits for the user: true ends it
// as cancelled.
using ClientGoneCheck = std::function<bool()>;

// Shows the identification-number dialog on the calling thread, until the
// user answers or clientGone says the client has gone. Returns 1 with the
// digits in number when the user confirmed a valid number; any other value
// is a cancellation (2) or a dialog that couldn't be shown (-1).
using NumberPrompt =
    std::function<std::int32_t(std::u16string& number, const ClientGoneCheck& clientGone)>;

// The dialog the server shows for GETINFO; without one every GETINFO is
// answered as cancelled.
void SetNumberPrompt(NumberPrompt prompt);

}  // namespace mossvane
