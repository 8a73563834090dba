// A printf-style formatter for the program's UTF-16 texts. Each argument is
// captured with its type, so a conversion that does not fit its argument, a
// missing argument or an unknown conversion makes the whole format fail
// instead of reading memory that was never passed. Both platforms produce the
// same characters because nothing here goes through the C library's printf.
//
// Supported: the flags - + space 0 #, a width and a precision given as
// digits, the length modifiers h hh l ll L j z t I I32 I64 w (accepted and
// ignored, the argument's own type decides), and the conversions
//   d i      signed decimal           (any integer argument)
//   u x X o  unsigned decimal, hex, octal (any integer argument)
//   c        one UTF-16 code unit     (any integer argument)
//   f F e E g G  floating point       (a floating-point or integer argument)
//   s S      text                     (const char16_t*, std::u16string(_view))
//   %%       a percent sign
// A null const char16_t* prints as "(null)". Arguments left over are ignored.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace mossvane {

// Integers that print as numbers. Character types and bool are left out so
// that passing one is a compile error rather than a surprise.
template <typename T>
concept FormatInteger = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> &&
                        !std::same_as<T, wchar_t> && !std::same_as<T, char8_t> &&
                        !std::same_as<T, char16_t> && !std::same_as<T, char32_t>;

// Implicit conversions are intended: a pack of printf-style arguments is
// turned into an array of these.
class FormatArg {
  public:
    enum class Kind { Integer, Real, Text };

    template <FormatInteger T>
    FormatArg(T value)
        : m_kind(Kind::Integer),
          m_signed(SignedAsPrintfReads(value)),
          m_unsigned(static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value))),
          m_isUnsignedType(std::is_unsigned_v<T>) {}

    template <std::floating_point T>
    FormatArg(T value) : m_kind(Kind::Real), m_real(static_cast<double>(value)) {}

    FormatArg(const char16_t* text)
        : m_kind(Kind::Text), m_text(text ? text : u""), m_isNull(!text) {}
    FormatArg(std::u16string_view text) : m_kind(Kind::Text), m_text(text) {}
    FormatArg(const std::u16string& text) : m_kind(Kind::Text), m_text(text) {}

    Kind kind() const { return m_kind; }
    // The value as a signed number of its own width, as %d reads it.
    std::int64_t AsSigned() const { return m_signed; }
    // The value as an unsigned number of its own width, as %u and %x read it.
    std::uint64_t AsUnsigned() const { return m_unsigned; }
    // The value for the floating-point conversions; integers keep their sign.
    double AsReal() const {
        if (m_kind == Kind::Real) return m_real;
        return m_isUnsignedType ? static_cast<double>(m_unsigned) : static_cast<double>(m_signed);
    }
    std::u16string_view AsText() const { return m_text; }
    bool IsNullText() const { return m_isNull; }

  private:
    // printf promotes integers narrower than int to int before %d reads
    // them, so a small unsigned value keeps its value; wider ones are read
    // as the signed number of their own width.
    template <FormatInteger T>
    static std::int64_t SignedAsPrintfReads(T value) {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) < sizeof(int)) {
            return static_cast<std::int64_t>(value);
        } else {
            return static_cast<std::int64_t>(static_cast<std::make_signed_t<T>>(value));
        }
    }

    Kind m_kind;
    std::int64_t m_signed = 0;
    std::uint64_t m_unsigned = 0;
    bool m_isUnsignedType = false;
    double m_real = 0.0;
    std::u16string_view m_text;
    bool m_isNull = false;
};

// Formats `format` with `args`; std::nullopt when the format is malformed,
// asks for an argument that is missing or of the wrong kind, or asks for a
// field wider than kMaxFormatField.
std::optional<std::u16string> FormatTextArgs(std::u16string_view format,
                                             std::span<const FormatArg> args);

inline constexpr std::size_t kMaxFormatField = 4096;

template <typename... Args>
std::optional<std::u16string> FormatText(std::u16string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatTextArgs(format, {});
    } else {
        const FormatArg packed[] = {FormatArg(args)...};
        return FormatTextArgs(format, packed);
    }
}

}  // namespace mossvane
