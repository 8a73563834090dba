// The settings store: Windows registry keys on Windows, .reg files standing in
// for the two hives elsewhere. Values keep their type and exact bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace mossvane::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

enum class RegistryAccess {
    Read,       // KEY_READ
    ReadWrite,  // KEY_READ | KEY_WRITE
    All,        // KEY_ALL_ACCESS
};

// Value types, numbered as the registry numbers them.
namespace reg_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace reg_type

struct RegistryValue {
    std::uint32_t type = reg_type::kNone;
    std::vector<std::uint8_t> data;
};

// An open key. Move-only; closes itself.
class RegistryKey {
  public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&&) noexcept;
    RegistryKey& operator=(RegistryKey&&) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Every name ends at its first null character, as the registry API reads
    // it. Calls on a key that is not open give kInvalidHandle.

    // Opens an existing key (path below the root, '\' separated).
    static ErrorCode Open(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                          RegistryKey& key);

    // Opens the key, creating it and any missing parents first.
    static ErrorCode Create(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                            RegistryKey& key);

    bool IsOpen() const;
    void Close();

    // The whole value, its type and bytes. kFileNotFound when absent. The
    // empty name is the key's default value.
    ErrorCode QueryValue(std::u16string_view name, RegistryValue& value) const;

    // Reads like a query into a caller's buffer of size bytes: kMoreData
    // (buffer untouched) when the value is larger; on success size becomes
    // the value's size and type (when given) its type.
    ErrorCode QueryValueInto(std::u16string_view name, void* buffer, std::uint32_t& size,
                             std::uint32_t* type = nullptr) const;

    // kInvalidParameter for bytes without data or more than 4 GiB of them.
    ErrorCode SetValue(std::u16string_view name, std::uint32_t type, const void* data,
                       std::size_t size);

    ErrorCode DeleteValue(std::u16string_view name);

    // Deletes a direct subkey with its values; refused (kAccessDenied) while
    // it has subkeys of its own. An empty name, which would mean this key
    // itself, is kInvalidParameter.
    ErrorCode DeleteSubKey(std::u16string_view name);

    struct Impl;

  private:
    // Each backend's part, called with checked arguments on an open key (or,
    // for the first two, with `key` closed).
    static ErrorCode BackendOpen(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                                 RegistryKey& key);
    static ErrorCode BackendCreate(RegistryRoot root, std::u16string_view path,
                                   RegistryAccess access, RegistryKey& key);
    ErrorCode BackendQueryValue(std::u16string_view name, RegistryValue& value) const;
    ErrorCode BackendSetValue(std::u16string_view name, std::uint32_t type, const void* data,
                              std::size_t size);
    ErrorCode BackendDeleteValue(std::u16string_view name);
    ErrorCode BackendDeleteSubKey(std::u16string_view name);

    std::unique_ptr<Impl> m_impl;
};

}  // namespace mossvane::platform
