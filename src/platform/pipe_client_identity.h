// Which pipe clients the server serves. On Windows the pipe lets everyone
// connect (driver modules run at low integrity and in service processes), so
// the server looks at each client's user once it has read from it and serves
// only this user and the system's service accounts. Clients in turn talk
// only to a server of their own user or the system. On POSIX the listener
// already refuses peers of another uid, the socket lives in the user's own
// folder, and every connection passes.
#pragma once

#include <string_view>

namespace mossvane::platform {

// String forms of the accounts the system runs services under.
inline constexpr std::u16string_view kLocalSystemSid = u"S-1-5-18";
inline constexpr std::u16string_view kLocalServiceSid = u"S-1-5-19";
inline constexpr std::u16string_view kNetworkServiceSid = u"S-1-5-20";

// Whether a client whose user has the security identifier `clientSid` (in
// its string form) may be served by a server running as `serverSid`. An
// unknown (empty) client user is never served.
bool IsServedClientUser(std::u16string_view clientSid, std::u16string_view serverSid);

// The other direction: whether a client acting as `clientSid` may talk to a
// server running as `serverSid`. Only its own user's server and one run by
// the system are; an unknown (empty) server user never is.
bool IsTrustedServerUser(std::u16string_view serverSid, std::u16string_view clientSid);

}  // namespace mossvane::platform
