#include "app/ChineseTextFont.h"

#include <QFontDatabase>
#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon;

// Where the system names a family for Chinese text, Qt knows it and it has the characters:
// the window's texts are set in it.
TEST(ChineseTextFont, TheFamilyNamedCoversSimplifiedChinese) {
    const std::optional<QString> family = systemFamilyForChineseText();
    if (!family) {
        GTEST_SKIP() << "no font for Chinese text on this system";
    }
    EXPECT_TRUE(QFontDatabase::families().contains(*family)) << family->toStdString();
    EXPECT_TRUE(QFontDatabase::writingSystems(*family).contains(QFontDatabase::SimplifiedChinese))
        << family->toStdString();
}
