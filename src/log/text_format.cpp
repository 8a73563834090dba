#include "log/text_format.h"

#include <charconv>
#include <cmath>

namespace mossvane {

namespace {

struct FieldFormat {
    bool leftAlign = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool zeroPad = false;
    bool alternate = false;
    std::size_t width = 0;
    std::optional<std::size_t> precision;
    char16_t conversion = 0;
};

void ParseFlags(std::u16string_view format, std::size_t& pos, FieldFormat& field) {
    for (; pos < format.size(); ++pos) {
        switch (format[pos]) {
            case u'-':
                field.leftAlign = true;
                break;
            case u'+':
                field.plusSign = true;
                break;
            case u' ':
                field.spaceSign = true;
                break;
            case u'0':
                field.zeroPad = true;
                break;
            case u'#':
                field.alternate = true;
                break;
            default:
                return;
        }
    }
}

// Reads a run of decimal digits. Fails when the number exceeds the largest
// field the formatter agrees to produce, so a hostile width can't exhaust
// memory.
bool ParseCount(std::u16string_view format, std::size_t& pos, std::size_t& count) {
    count = 0;
    for (; pos < format.size() && format[pos] >= u'0' && format[pos] <= u'9'; ++pos) {
        count = count * 10 + static_cast<std::size_t>(format[pos] - u'0');
        if (count > kMaxFormatField) return false;
    }
    return true;
}

// Length modifiers only say how printf would fetch the argument; here the
// argument carries its own type, so they are skipped.
void SkipLengthModifier(std::u16string_view format, std::size_t& pos) {
    const std::u16string_view rest = format.substr(pos);
    for (std::u16string_view modifier : {u"I64", u"I32", u"hh", u"ll"}) {
        if (rest.starts_with(modifier)) {
            pos += modifier.size();
            return;
        }
    }
    if (!rest.empty() &&
        std::u16string_view(u"hlLjztIw").find(rest.front()) != std::u16string_view::npos) {
        ++pos;
    }
}

std::optional<FieldFormat> ParseFieldFormat(std::u16string_view format, std::size_t& pos) {
    FieldFormat field;
    ParseFlags(format, pos, field);
    if (!ParseCount(format, pos, field.width)) return std::nullopt;
    if (pos < format.size() && format[pos] == u'.') {
        ++pos;
        std::size_t precision = 0;
        if (!ParseCount(format, pos, precision)) return std::nullopt;
        field.precision = precision;
    }
    SkipLengthModifier(format, pos);
    if (pos >= format.size()) return std::nullopt;
    field.conversion = format[pos++];
    return field;
}

// Lays out prefix (sign or radix marker) and body within the field width.
// Zero padding goes between the prefix and the body, as printf does it.
void AppendField(std::u16string& out, const FieldFormat& field, std::u16string_view prefix,
                 std::u16string_view body, bool zeroPadAllowed) {
    const std::size_t length = prefix.size() + body.size();
    const std::size_t padding = field.width > length ? field.width - length : 0;
    if (field.leftAlign) {
        out.append(prefix).append(body).append(padding, u' ');
    } else if (field.zeroPad && zeroPadAllowed) {
        out.append(prefix).append(padding, u'0').append(body);
    } else {
        out.append(padding, u' ').append(prefix).append(body);
    }
}

std::u16string Digits(std::uint64_t magnitude, int base, bool upperCase,
                      std::optional<std::size_t> precision) {
    std::u16string digits;
    if (precision == std::size_t{0} && magnitude == 0) return digits;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), magnitude, base);
    for (const char* c = buffer; c != result.ptr; ++c) {
        const char digit = upperCase && *c >= 'a' ? static_cast<char>(*c - 'a' + 'A') : *c;
        digits.push_back(static_cast<char16_t>(digit));
    }
    const std::size_t wanted = precision.value_or(1);
    if (digits.size() < wanted) digits.insert(0, wanted - digits.size(), u'0');
    return digits;
}

std::u16string_view SignPrefix(const FieldFormat& field, bool negative) {
    if (negative) return u"-";
    if (field.plusSign) return u"+";
    if (field.spaceSign) return u" ";
    return u"";
}

bool AppendSigned(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    if (arg.kind() != FormatArg::Kind::Integer) return false;
    const std::int64_t value = arg.AsSigned();
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                             : static_cast<std::uint64_t>(value);
    AppendField(out, field, SignPrefix(field, negative),
                Digits(magnitude, 10, false, field.precision), !field.precision);
    return true;
}

bool AppendUnsigned(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    if (arg.kind() != FormatArg::Kind::Integer) return false;
    const std::uint64_t value = arg.AsUnsigned();
    const char16_t conversion = field.conversion;
    const int base = conversion == u'u' ? 10 : conversion == u'o' ? 8 : 16;
    std::u16string digits = Digits(value, base, conversion == u'X', field.precision);
    std::u16string_view prefix;
    if (field.alternate && base == 16 && value != 0) prefix = conversion == u'X' ? u"0X" : u"0x";
    if (field.alternate && base == 8 && (digits.empty() || digits.front() != u'0')) {
        digits.insert(0, 1, u'0');
    }
    AppendField(out, field, prefix, digits, !field.precision);
    return true;
}

std::optional<std::chars_format> RealFormat(char16_t conversion) {
    switch (conversion) {
        case u'f':
        case u'F':
            return std::chars_format::fixed;
        case u'e':
        case u'E':
            return std::chars_format::scientific;
        case u'g':
        case u'G':
            return std::chars_format::general;
        default:
            return std::nullopt;
    }
}

// std::to_chars with a precision is defined to give printf's digits, so both
// platforms agree to the last digit. The alternate form is not offered.
bool AppendReal(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    if (arg.kind() == FormatArg::Kind::Text) return false;
    const double value = arg.AsReal();
    const std::size_t precision = field.precision.value_or(6);
    std::string buffer(precision + 400, '\0');
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                      *RealFormat(field.conversion), static_cast<int>(precision));
    if (result.ec != std::errc()) return false;
    buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
    const bool upperCase = field.conversion >= u'A' && field.conversion <= u'Z';
    std::u16string body;
    for (char c : buffer) {
        body.push_back(static_cast<char16_t>(upperCase && c >= 'a' ? c - 'a' + 'A' : c));
    }
    AppendField(out, field, SignPrefix(field, std::signbit(value)), body, std::isfinite(value));
    return true;
}

bool AppendText(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    if (arg.kind() != FormatArg::Kind::Text) return false;
    std::u16string_view text = arg.IsNullText() ? u"(null)" : arg.AsText();
    if (field.precision) text = text.substr(0, *field.precision);
    AppendField(out, field, u"", text, false);
    return true;
}

bool AppendCharacter(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    if (arg.kind() != FormatArg::Kind::Integer) return false;
    const char16_t unit = static_cast<char16_t>(arg.AsUnsigned());
    AppendField(out, field, u"", std::u16string_view(&unit, 1), false);
    return true;
}

bool AppendConversion(std::u16string& out, const FieldFormat& field, const FormatArg& arg) {
    switch (field.conversion) {
        case u'd':
        case u'i':
            return AppendSigned(out, field, arg);
        case u'u':
        case u'x':
        case u'X':
        case u'o':
            return AppendUnsigned(out, field, arg);
        case u'c':
            return AppendCharacter(out, field, arg);
        case u's':
        case u'S':
            return AppendText(out, field, arg);
        default:
            break;
    }
    if (RealFormat(field.conversion)) return AppendReal(out, field, arg);
    // %n, %p and anything unknown: refuse rather than guess.
    return false;
}

}  // namespace

std::optional<std::u16string> FormatTextArgs(std::u16string_view format,
                                             std::span<const FormatArg> args) {
    std::u16string out;
    std::size_t nextArg = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find(u'%', pos);
        out.append(format.substr(pos, percent - pos));
        if (percent == std::u16string_view::npos) break;
        pos = percent + 1;
        if (pos < format.size() && format[pos] == u'%') {
            out.push_back(u'%');
            ++pos;
            continue;
        }
        const std::optional<FieldFormat> field = ParseFieldFormat(format, pos);
        if (!field || nextArg >= args.size()) return std::nullopt;
        if (!AppendConversion(out, *field, args[nextArg++])) return std::nullopt;
    }
    return out;
}

}  // namespace mossvane
