#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceTab.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

struct LanguageCase {
    QStringList preferred;
    AppLanguage::Value expected;
};

TEST(AppLanguage, FirstLanguagePieceDecides) {
    const LanguageCase cases[] = {
        {{"it"}, AppLanguage::italian},
        {{"it-IT"}, AppLanguage::italian},
        {{"IT-it"}, AppLanguage::italian},
        {{"-it"}, AppLanguage::italian},
        {{"ita"}, AppLanguage::english},
        {{"en-IT"}, AppLanguage::english},
        {{"en-US", "it-IT"}, AppLanguage::english},
        {{}, AppLanguage::english},
        {{""}, AppLanguage::english},
        {{"--"}, AppLanguage::english},
    };
    for (const LanguageCase& c : cases)
        EXPECT_EQ(AppLanguage::select(c.preferred), c.expected)
            << c.preferred.join(",").toStdString();
}

TEST(AppLanguage, TestOverrideIsReadAtEveryUse) {
    AppLanguage::setPreferredLanguagesForTesting(QStringList{"it-IT"});
    EXPECT_EQ(AppLanguage::pick("Salva", "Save"), "Salva");
    AppLanguage::setPreferredLanguagesForTesting(QStringList{"en-GB"});
    EXPECT_EQ(AppLanguage::pick("Salva", "Save"), "Save");
    AppLanguage::setPreferredLanguagesForTesting(std::nullopt);
}

TEST(WorkspaceTab, RawValuesMatchExactly) {
    const std::pair<QString, std::optional<WorkspaceTab>> cases[] = {
        {"SCHEMA", WorkspaceTab::schema}, {"schema", std::nullopt},
        {"Per te", WorkspaceTab::guide},  {"For you", std::nullopt},
        {"Raw", WorkspaceTab::raw},       {"", std::nullopt},
    };
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(workspaceTabFromRawValue(raw), expected) << raw.toStdString();
    for (WorkspaceTab tab : allWorkspaceTabs)
        EXPECT_EQ(workspaceTabFromRawValue(rawValue(tab)), tab);
}

} // namespace
} // namespace quorilanth
