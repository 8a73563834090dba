// What the service tests share: the socket file's place, a request the
// server answers at once without a dialog, and the job files it leaves.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/pipe.h"
#include "server_harness.h"

namespace mossvane::testing {

// The user's socket file in the sandbox's runtime folder.
std::string SocketPath();

bool PathExists(const std::string& path);

// Sends a request the server answers without showing anything (an unknown
// command gets an empty answer) and reads the answer; false on any failure.
bool ExchangeQuickRequest(platform::PipeConnection& connection);

// The files with the extension below the data folder, in any depth.
std::vector<std::filesystem::path> FilesEndingIn(const std::string& extension);

}  // namespace mossvane::testing
