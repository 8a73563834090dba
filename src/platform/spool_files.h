// The files of the print job spool: the user's application data folder, the
// folders below it, the job file being written and the information file
// written beside it. On Windows they take the folder's default security; on
// POSIX they take the folder's default ACL where it has one, and are the
// user's alone (0600, folders 0700) where it has none.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace mossvane::platform {

// The character that separates the components of a file path.
char16_t PathSeparator();

// The folder the program keeps per-user data in: the roaming application data
// folder (the local one before Windows Vista) on Windows, $XDG_DATA_HOME
// (default ~/.local/share) on POSIX. kSuccess with an empty folder when the
// system offers no way to ask; kPathNotFound when it was asked and failed.
ErrorCode GetUserDataFolder(std::u16string& folder);

// Creates one folder. kAlreadyExists when it is there already; kPathNotFound
// when its parent is missing. Like every path taken here, an empty one is
// refused (kPathNotFound), and so is one holding a null character
// (kInvalidParameter), which the system would cut short.
ErrorCode CreateFolder(std::u16string_view path);

// A job file open for writing and nothing else: no other handle can open it
// while it lives. Move-only; closes itself.
class JobFile {
  public:
    JobFile();
    ~JobFile();
    JobFile(JobFile&& other) noexcept;
    JobFile& operator=(JobFile&& other) noexcept;
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    // Creates a new file at `path`, read and write access, no sharing. A file
    // that is there already is never opened (kAlreadyExists), so no job ever
    // writes into another job's file.
    static ErrorCode CreateNew(std::u16string_view path, JobFile& file);

    bool IsValid() const;
    void Close();

    // Forces the job's data to stable storage and closes the file, so that
    // an information file written afterwards never vouches for data a power
    // cut could still take away. kFileNotFound when the file lost its last
    // name while it was written (it or its folder was removed, which POSIX
    // allows): its data went with it. The system's code when the data can't
    // be flushed or the close reports an error. The file is closed in every
    // case.
    ErrorCode FlushAndClose();

    // Moves to the end of the file and writes all `size` bytes in one call
    // (repeated only if the system writes fewer). kInvalidHandle without an
    // open file; kInvalidParameter for bytes without data.
    ErrorCode AppendAtEnd(const void* data, std::size_t size);

    struct Impl;

  private:
    // Each backend's part, called with checked arguments (and an open file).
    static ErrorCode BackendCreateNew(std::u16string_view path, JobFile& file);
    ErrorCode BackendAppendAtEnd(const void* data, std::size_t size);
    ErrorCode BackendFlushAndClose();

    std::unique_ptr<Impl> m_impl;
};

// Puts a new file with `text` at `path`, written as a text file (line feeds
// become CR LF on Windows, as the C library's text mode writes them), the way
// PublishFileDurably does (platform/file_replace.h): it appears whole or not
// at all, and never in place of anything already there (kAlreadyExists). It
// is the user's alone, unless the folder's inheritable security says more.
ErrorCode PublishTextFile(std::u16string_view path, std::string_view text);

// kSuccess when nothing at all stands at `path`, not even a dangling link;
// kAlreadyExists when something does; the system's code when it can't tell.
ErrorCode CheckNameIsFree(std::u16string_view path);

namespace backend {
// Each backend's part of the functions above, called with a checked path.
ErrorCode CreateFolder(std::u16string_view path);
ErrorCode PublishTextFile(std::u16string_view path, std::string_view text);
ErrorCode CheckNameIsFree(std::u16string_view path);
}  // namespace backend

}  // namespace mossvane::platform
