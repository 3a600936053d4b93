#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceTab.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

// The first piece of the first preferred language decides, read at every use.
TEST(AppLanguage, TheFirstLanguagePieceDecides) {
    const std::pair<QStringList, AppLanguage::Value> cases[] = {
        {{"it-IT"}, AppLanguage::italian}, {{"IT-it"}, AppLanguage::italian},
        {{"-it"}, AppLanguage::italian},   {{"ita"}, AppLanguage::english},
        {{"en-IT"}, AppLanguage::english}, {{"en-US", "it-IT"}, AppLanguage::english},
        {{}, AppLanguage::english},        {{"--"}, AppLanguage::english},
    };
    for (const auto& [preferred, expected] : cases)
        EXPECT_EQ(AppLanguage::select(preferred), expected) << preferred.join(",").toStdString();
    AppLanguage::setPreferredLanguagesForTesting(QStringList{"it-IT"});
    EXPECT_EQ(AppLanguage::pick("Salva", "Save"), "Salva");
    AppLanguage::setPreferredLanguagesForTesting(std::nullopt);
}

// Raw values are matched exactly, whatever the language shown.
TEST(WorkspaceTab, RawValuesMatchExactly) {
    EXPECT_EQ(workspaceTabFromRawValue("Per te"), WorkspaceTab::guide);
    EXPECT_EQ(workspaceTabFromRawValue("schema"), std::nullopt);
    for (WorkspaceTab tab : allWorkspaceTabs)
        EXPECT_EQ(workspaceTabFromRawValue(rawValue(tab)), tab);
}

} // namespace
} // namespace quorilanth
