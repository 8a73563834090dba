#include "platform/pipe_client_identity.h"

namespace mossvane::platform {

bool IsServedClientUser(std::u16string_view clientSid, std::u16string_view serverSid) {
    if (clientSid.empty()) return false;
    // Identifiers are compared as the system writes them: "S-1-..." in
    // upper case, decimal numbers.
    return clientSid == serverSid || clientSid == kLocalSystemSid ||
           clientSid == kLocalServiceSid || clientSid == kNetworkServiceSid;
}

bool IsTrustedServerUser(std::u16string_view serverSid, std::u16string_view clientSid) {
    if (serverSid.empty()) return false;
    return serverSid == clientSid || serverSid == kLocalSystemSid;
}

}  // namespace mossvane::platform
