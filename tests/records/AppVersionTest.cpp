#include "records/AppVersion.h"

#include <gtest/gtest.h>

using quillon::AppVersion::compare;
using quillon::AppVersion::Order;

TEST(AppVersionTest, ComparesNumericallyComponentByComponent) {
    EXPECT_EQ(compare(QStringLiteral("1.10"), QStringLiteral("1.9")), Order::descending);
    EXPECT_EQ(compare(QStringLiteral("1.9"), QStringLiteral("1.10")), Order::ascending);
    EXPECT_EQ(compare(QStringLiteral("2.0.1"), QStringLiteral("2.0.1")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("3"), QStringLiteral("2.99.99")), Order::descending);
}

TEST(AppVersionTest, MissingAndEmptyComponentsCountAsZero) {
    EXPECT_EQ(compare(QStringLiteral("1.2"), QStringLiteral("1.2.0")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("1.2.0.0"), QStringLiteral("1.2")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("1..2"), QStringLiteral("1.0.2")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("1."), QStringLiteral("1")), Order::same);
    EXPECT_EQ(compare(QStringLiteral(""), QStringLiteral("")), Order::same);
    EXPECT_EQ(compare(QStringLiteral(""), QStringLiteral("0.0")), Order::same);
    EXPECT_EQ(compare(QStringLiteral(""), QStringLiteral("0.1")), Order::ascending);
}

TEST(AppVersionTest, OnlyLeadingDigitsOfAPieceCount) {
    EXPECT_EQ(compare(QStringLiteral("1.2beta"), QStringLiteral("1.2")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("1.2b3"), QStringLiteral("1.2.3")), Order::ascending);
    EXPECT_EQ(compare(QStringLiteral("v2"), QStringLiteral("1")), Order::ascending); // "v2" reads as 0
    EXPECT_EQ(compare(QStringLiteral("1.x"), QStringLiteral("1.0")), Order::same);
}

TEST(AppVersionTest, TrimsWhiteSpaceAndLineEnds) {
    EXPECT_EQ(compare(QStringLiteral("  1.4.2\n"), QStringLiteral("1.4.2")), Order::same);
    EXPECT_EQ(compare(QStringLiteral("\t1.5 "), QStringLiteral("1.4.9")), Order::descending);
}

TEST(AppVersionTest, HugeNumbersNeverFailAndStillOrder) {
    EXPECT_EQ(compare(QStringLiteral("1.99999999999999999999999"), QStringLiteral("1.2")), Order::descending);
    EXPECT_EQ(compare(QStringLiteral("99999999999999999999999"), QStringLiteral("99999999999999999999999")),
              Order::same);
}
