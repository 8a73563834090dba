// A text provider with a fixed table, for tests of code that looks texts up.
// It counts the lookups it was asked for.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "l10n/localize_provider.h"

namespace mossvane::test {

class TableProvider : public ILocalizeProvider {
  public:
    using Table = std::map<std::u16string, std::u16string>;

    explicit TableProvider(Table table) : m_table(std::move(table)) {}

    bool Translate(std::u16string_view key, std::u16string& text,
                   const char16_t* defaultText) override {
        ++m_calls;
        const auto found = m_table.find(std::u16string(key));
        if (found != m_table.end()) {
            text = found->second;
            return true;
        }
        if (defaultText != nullptr) text = defaultText;
        return false;
    }
    std::u16string GetLanguage() const override { return u"kr"; }
    bool IsRightToLeft() const override { return false; }
    bool SetLanguage(const char16_t* /*code*/) override { return false; }

    int Calls() const { return m_calls; }

  private:
    Table m_table;
    int m_calls = 0;
};

}  // namespace mossvane::test
