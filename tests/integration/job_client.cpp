#include "job_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "l10n/l10n_constants.h"
#include "pipe/job_file.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "wire/job_message.h"

namespace mossvane::testing {

namespace fs = std::filesystem;

Bytes PatternBytes(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + seed);
    return bytes;
}

Bytes EncodeWholeJob(std::uint32_t jobNumber, const Bytes& data, std::u16string_view information) {
    Bytes job = EncodeCreateJob(jobNumber);
    for (std::size_t at = 0; at < data.size(); at += kMaxJobPayload) {
        const std::size_t size = std::min(kMaxJobPayload, data.size() - at);
        const Bytes message = EncodeJobMessage(WRITE_JOB_CMD, data.data() + at, size);
        job.insert(job.end(), message.begin(), message.end());
    }
    const Bytes end = EncodeEndJob(information);
    job.insert(job.end(), end.begin(), end.end());
    return job;
}

bool WriteAll(platform::PipeConnection& connection, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        // Pieces of a pipe buffer, as a driver module writes them.
        const std::size_t size = std::min(kPipeBufferSize, bytes.size() - done);
        std::size_t written = 0;
        if (connection.Write(bytes.data() + done, size, written) != platform::kSuccess) {
            return false;
        }
        done += written;
    }
    return true;
}

ServerEnd WaitForServerEnd(platform::PipeConnection& connection) {
    switch (connection.WaitForServerEnd(platform::kWaitForever)) {
        case platform::kSuccess:
            return ServerEnd::InOrder;
        case platform::kMoreData:
        case platform::kConnectionReset:
        case platform::kNetnameDeleted:
            return ServerEnd::AsFailure;
        default:
            return ServerEnd::Other;
    }
}

void SetPrintFolder(const fs::path& folder) {
    const std::u16string text = folder.u16string();
    platform::RegistryKey key;
    ASSERT_EQ(
        platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                      platform::RegistryAccess::ReadWrite, key),
        platform::kSuccess);
    ASSERT_EQ(key.SetValue(kPrintFolderPathValue, platform::reg_type::kSz, text.c_str(),
                           (text.size() + 1) * sizeof(char16_t)),
              platform::kSuccess);
}

std::vector<fs::path> FilesWithExtension(const fs::path& folder, std::string_view extension) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == extension) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace mossvane::testing
