// Writes the information file's document for arbitrary job information (the
// input read as little-endian UTF-16 code units, as END_JOB_CMD carries it)
// and checks it with libxml2, a strict, namespace-aware XML 1.0 reader: the
// document must be well-formed, its root "JobInfo", and every element it
// holds an entry of the job information, in key order, with the entry's
// value as its text (forbidden characters replaced).
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "params/param_text.h"
#include "params/text_conversion.h"
#include "pipe/job_info.h"

namespace {

using mossvane::fuzz::CodeUnits;
using mossvane::fuzz::Require;

using mossvane::ParamMap;

// A reader sees every CR LF, and every CR alone, as one line feed.
std::string AsReadBack(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            result.push_back(text[i]);
            continue;
        }
        result.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return result;
}

std::string TextOf(xmlNode* element) {
    const std::unique_ptr<xmlChar, void (*)(void*)> content(xmlNodeGetContent(element), xmlFree);
    return content ? reinterpret_cast<const char*>(content.get()) : "";
}

void SilenceErrors(void*, xmlErrorPtr) {}

void CheckDocument(const std::string& document, const ParamMap& information) {
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> context(xmlNewParserCtxt(),
                                                                             xmlFreeParserCtxt);
    Require(context != nullptr);
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> parsed(
        xmlCtxtReadMemory(context.get(), document.data(), static_cast<int>(document.size()),
                          nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    Require(parsed != nullptr);
    Require(context->wellFormed != 0);
    Require(context->nsWellFormed != 0);
    xmlNode* root = xmlDocGetRootElement(parsed.get());
    Require(root != nullptr && xmlStrcmp(root->name, BAD_CAST "JobInfo") == 0);
    auto entry = information.begin();
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const std::u16string key = mossvane::AnsiToWide(reinterpret_cast<const char*>(child->name));
        // Entries left out are skipped; those written come in key order.
        while (entry != information.end() && entry->first != key) ++entry;
        Require(entry != information.end());
        const std::string expected =
            mossvane::WideToAnsi(mossvane::XmlCharactersOnly(entry->second));
        Require(TextOf(child) == AsReadBack(expected));
        ++entry;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    xmlSetStructuredErrorFunc(nullptr, SilenceErrors);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = CodeUnits(data, size);
    ParamMap information;
    mossvane::ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), information);
    CheckDocument(mossvane::BuildJobInfoDocument(information), information);
    return 0;
}
