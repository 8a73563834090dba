// Names of the code pages' encodings, the same on every platform.
#include "platform/codepage.h"

namespace mossvane::platform {
namespace {

struct CodePageName {
    std::uint32_t codePage;
    const char* name;
};

// The ANSI code pages of Windows' languages. Where IANA registers no name for
// exactly the Windows page, the name Windows itself writes for it and that
// XML readers map to it is used (949 is Unified Hangul Code, not plain
// EUC-KR).
constexpr CodePageName kAnsiCodePageNames[] = {
    {874, "windows-874"},    {932, "Windows-31J"},   {936, "GBK"},
    {949, "KS_C_5601-1987"}, {950, "Big5"},          {1250, "windows-1250"},
    {1251, "windows-1251"},  {1252, "windows-1252"}, {1253, "windows-1253"},
    {1254, "windows-1254"},  {1255, "windows-1255"}, {1256, "windows-1256"},
    {1257, "windows-1257"},  {1258, "windows-1258"}, {kUtf8CodePage, "UTF-8"},
};

}  // namespace

std::string EncodingNameOfCodePage(std::uint32_t codePage) {
    for (const CodePageName& entry : kAnsiCodePageNames) {
        if (entry.codePage == codePage) return entry.name;
    }
    return "windows-" + std::to_string(codePage);
}

std::string AnsiCodePageEncodingName() {
    return EncodingNameOfCodePage(AnsiCodePage());
}

}  // namespace mossvane::platform
