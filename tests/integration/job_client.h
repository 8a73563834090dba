// What tests need to send print jobs to the real server and find the files
// it stores: building a whole job's bytes, sending them on a connection of
// their own, pointing the data folder somewhere, and reading files back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pipe.h"
#include "platform/registry.h"
#include "support/file_bytes.h"

namespace mossvane::testing {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes of a pattern that differs with `seed`.
Bytes PatternBytes(std::size_t size, std::uint8_t seed);

// Print data as the job's messages: CREATE_JOB_CMD with the number, the data
// in pieces of at most the largest payload, and END_JOB_CMD with the job
// information text. The data should end with the end-of-job marker.
Bytes EncodeWholeJob(std::uint32_t jobNumber, const Bytes& data, std::u16string_view information);

// Writes all bytes; false when the pipe broke first.
bool WriteAll(platform::PipeConnection& connection, const Bytes& bytes);

// How the server ended a job's connection: in order once it stored the job
// (or for a connection without one), as a failure for a job it did not store.
enum class ServerEnd { InOrder, AsFailure, Other };
ServerEnd WaitForServerEnd(platform::PipeConnection& connection);

// Waits until the server ends the connection in order, having stored the job.
inline bool StoredByServer(platform::PipeConnection& connection) {
    return WaitForServerEnd(connection) == ServerEnd::InOrder;
}

// Sets the per-user "PrintFolderPath" (a REG_SZ with its terminator).
void SetPrintFolder(const std::filesystem::path& folder);

using test::ReadFileBytes;

// The files of the folder whose names end with the extension (".prn").
std::vector<std::filesystem::path> FilesWithExtension(const std::filesystem::path& folder,
                                                      std::string_view extension);

}  // namespace mossvane::testing
