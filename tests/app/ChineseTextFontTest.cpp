#include "app/ChineseTextFont.h"

#include <QFontDatabase>
#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon;

// A system with a font for Simplified Chinese names one, which Qt knows and which has the
// characters: the window's texts are set in it. A system without one names none.
TEST(ChineseTextFont, TheFamilyNamedCoversSimplifiedChinese) {
    const std::optional<QString> family = systemFamilyForChineseText();
    if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) {
        EXPECT_FALSE(family) << family->toStdString();
        return;
    }
    ASSERT_TRUE(family);
    EXPECT_TRUE(QFontDatabase::families().contains(*family)) << family->toStdString();
    EXPECT_TRUE(QFontDatabase::writingSystems(*family).contains(QFontDatabase::SimplifiedChinese))
        << family->toStdString();
}
