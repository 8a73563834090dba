// Stands in for the Windows registry on POSIX: each root is a .reg file (see
// reg_hive.h), and every call looks at the file anew because another process
// may change it at any time (a file that has not changed is not parsed again). Error codes follow
// what the registry API returns in the same situation, so callers behave alike on both platforms.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/posix/reg_file.h"
#include "platform/posix/reg_hive.h"
#include "platform/registry.h"

namespace mossvane::platform {

using posix::HiveLocation;
using posix::RegFile;

struct RegistryKey::Impl {
    HiveLocation hive;
    std::u16string path;  // the root's name first, then the key's components
    RegistryAccess access = RegistryAccess::Read;
};

namespace {

// `base` followed by the '\' separated components of `relative`. As with the
// registry API, empty components (doubled or trailing separators) are
// skipped and a leading separator is a bad path name; components that
// couldn't be written to the file are refused.
ErrorCode JoinPath(std::u16string_view base, std::u16string_view relative, std::u16string& path) {
    if (relative.starts_with(posix::kKeySeparator)) return kBadPathname;
    path = base;
    for (std::size_t start = 0; start < relative.size();) {
        const std::size_t end =
            std::min(relative.find(posix::kKeySeparator, start), relative.size());
        const std::u16string_view component = relative.substr(start, end - start);
        if (!component.empty() && !posix::IsWritableKeyName(component)) return kInvalidParameter;
        if (!component.empty()) path.append(1, posix::kKeySeparator).append(component);
        start = end + 1;
    }
    return kSuccess;
}

bool KeyExists(const RegFile& file, const RegistryKey::Impl& key) {
    return posix::EqualsIgnoringAsciiCase(key.path, key.hive.rootName) || file.KeyExists(key.path);
}

ErrorCode Locate(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                 RegistryKey::Impl& key) {
    if (const ErrorCode error = posix::LocateHive(root, key.hive); error != kSuccess) return error;
    key.access = access;
    return JoinPath(key.hive.rootName, path, key.path);
}

// Mirrors Windows, where a user without administrator rights can't open a
// machine key for writing: asking for write access to a hive this process
// can't rewrite is refused up front.
ErrorCode CheckAccess(const RegistryKey::Impl& key) {
    if (key.access == RegistryAccess::Read) return kSuccess;
    return posix::CheckHiveWritable(key.hive);
}

}  // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

ErrorCode RegistryKey::BackendOpen(RegistryRoot root, std::u16string_view path,
                                   RegistryAccess access, RegistryKey& key) {
    auto impl = std::make_unique<Impl>();
    if (const ErrorCode error = Locate(root, path, access, *impl); error != kSuccess) return error;
    std::shared_ptr<const RegFile> file;
    if (const ErrorCode error = posix::ReadHiveShared(impl->hive, file); error != kSuccess) {
        return error;
    }
    if (!KeyExists(*file, *impl)) return kFileNotFound;
    if (const ErrorCode error = CheckAccess(*impl); error != kSuccess) return error;
    key.m_impl = std::move(impl);
    return kSuccess;
}

ErrorCode RegistryKey::BackendCreate(RegistryRoot root, std::u16string_view path,
                                     RegistryAccess access, RegistryKey& key) {
    auto impl = std::make_unique<Impl>();
    if (const ErrorCode error = Locate(root, path, access, *impl); error != kSuccess) return error;
    // Refused before the key is made: a key this process may not write is
    // not created either.
    if (const ErrorCode error = CheckAccess(*impl); error != kSuccess) return error;
    std::shared_ptr<const RegFile> file;
    if (const ErrorCode error = posix::ReadHiveShared(impl->hive, file); error != kSuccess) {
        return error;
    }
    if (!KeyExists(*file, *impl)) {
        const ErrorCode error = posix::ChangeHive(impl->hive, [&](RegFile& hive, bool& changed) {
            changed = !KeyExists(hive, *impl);
            if (changed) hive.EnsureKey(impl->path);
            return kSuccess;
        });
        if (error != kSuccess) return error;
    }
    key.m_impl = std::move(impl);
    return kSuccess;
}

bool RegistryKey::IsOpen() const {
    return m_impl != nullptr;
}

void RegistryKey::Close() {
    m_impl.reset();
}

ErrorCode RegistryKey::BackendQueryValue(std::u16string_view name, RegistryValue& value) const {
    std::shared_ptr<const RegFile> file;
    if (const ErrorCode error = posix::ReadHiveShared(m_impl->hive, file); error != kSuccess) {
        return error;
    }
    if (!KeyExists(*file, *m_impl)) return kKeyDeleted;
    const posix::RegFileSection* section = file->FindSection(m_impl->path);
    const posix::RegFileValue* found = section ? section->FindValue(name) : nullptr;
    if (!found) return kFileNotFound;
    value = found->value;
    return kSuccess;
}

ErrorCode RegistryKey::BackendSetValue(std::u16string_view name, std::uint32_t type,
                                       const void* data, std::size_t size) {
    if (m_impl->access == RegistryAccess::Read) return kAccessDenied;
    if (!posix::IsWritableValueName(name)) return kInvalidParameter;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const RegistryValue value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
    return posix::ChangeHive(m_impl->hive, [&](RegFile& file, bool& changed) {
        if (!KeyExists(file, *m_impl)) return kKeyDeleted;
        file.EnsureKey(m_impl->path).SetValue(name, value);
        changed = true;
        return kSuccess;
    });
}

ErrorCode RegistryKey::BackendDeleteValue(std::u16string_view name) {
    if (m_impl->access == RegistryAccess::Read) return kAccessDenied;
    return posix::ChangeHive(m_impl->hive, [&](RegFile& file, bool& changed) {
        if (!KeyExists(file, *m_impl)) return kKeyDeleted;
        posix::RegFileSection* section = file.FindSection(m_impl->path);
        changed = section && section->RemoveValue(name);
        return changed ? kSuccess : kFileNotFound;
    });
}

// As with RegDeleteKeyW, the access this key was opened with doesn't matter:
// only the right to rewrite the hive does.
ErrorCode RegistryKey::BackendDeleteSubKey(std::u16string_view name) {
    std::u16string target;
    if (const ErrorCode error = JoinPath(m_impl->path, name, target); error != kSuccess) {
        return error;
    }
    // A name of separators only would mean this key itself.
    if (target.size() == m_impl->path.size()) return kInvalidParameter;
    return posix::ChangeHive(m_impl->hive, [&](RegFile& file, bool& changed) {
        if (!KeyExists(file, *m_impl)) return kKeyDeleted;
        if (!file.KeyExists(target)) return kFileNotFound;
        if (file.HasSubKeys(target)) return kAccessDenied;
        changed = file.RemoveSection(target);
        return kSuccess;
    });
}

}  // namespace mossvane::platform
