// The runtime folder checks, with POSIX calls; the backend runs on POSIX
// systems only.
#include "runtime_folder.h"

#include <sys/stat.h>

#include "backend_arguments.h"

namespace mossvane::cups {

namespace {

constexpr std::uint32_t kWritableByOthers = S_IWGRP | S_IWOTH;

}  // namespace

bool ChooseRuntimeRoot(const char* runtimeRootVariable, std::string& root, std::string& error) {
    root = RuntimeRoot(runtimeRootVariable);
    if (!root.empty() && root.front() == '/') return true;
    error = std::string(kRuntimeRootVariable) + " is \"" + root +
            "\", which is not an absolute path; set it to the folder that holds the users' "
            "runtime folders, such as /run/user.";
    return false;
}

FolderVerdict JudgeRuntimeFolder(const FolderFacts& facts, std::uint32_t uid) {
    if (!facts.exists) return FolderVerdict::Missing;
    if (!facts.isDirectory) return FolderVerdict::NotDirectory;
    if (facts.ownerUid != uid) return FolderVerdict::NotTheUsers;
    if ((facts.mode & kWritableByOthers) != 0) return FolderVerdict::OpenToOthers;
    return FolderVerdict::Usable;
}

FolderFacts InspectFolder(const std::string& path) {
    FolderFacts facts;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return facts;
    facts.exists = true;
    facts.isDirectory = S_ISDIR(info.st_mode);
    facts.ownerUid = info.st_uid;
    facts.mode = info.st_mode & 07777;
    return facts;
}

std::string DescribeFolderVerdict(FolderVerdict verdict, std::string_view path,
                                  std::string_view userName) {
    std::string folder = "The runtime folder " + std::string(path) + " of " + std::string(userName);
    switch (verdict) {
        case FolderVerdict::Usable:
            return folder + " is usable.";
        case FolderVerdict::Missing:
            return folder + " does not exist (not logged in?); the job will be tried again later.";
        case FolderVerdict::NotDirectory:
            return folder + " is not a folder; the job is cancelled.";
        case FolderVerdict::NotTheUsers:
            return folder + " belongs to another user; the job is cancelled.";
        case FolderVerdict::OpenToOthers:
            return folder + " may be written by other users; the job is cancelled.";
    }
    return folder + " can't be used.";
}

}  // namespace mossvane::cups
