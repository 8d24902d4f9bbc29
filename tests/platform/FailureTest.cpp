#include "platform/Failure.h"
#include "support/LogWatcher.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quillon;

TEST(FailureTest, AFailureOfNoKindOfOursReadsAsUnknownAndItsOwnWordsGoToTheLog) {
    const test::LogWatcher log;
    EXPECT_EQ(failureDescription(std::runtime_error("the disk exploded")), QStringLiteral("发生未知错误"));
    EXPECT_TRUE(log.saw(QStringLiteral("the disk exploded")));
    EXPECT_EQ(failureDescription(std::make_exception_ptr(42)), QStringLiteral("发生未知错误"));
    EXPECT_EQ(failureDetail(std::make_exception_ptr(std::runtime_error("words"))), QStringLiteral("words"));
    const PlatformError refusal(QStringLiteral("无法请求管理员授权"), QStringLiteral("execve: No such file"));
    EXPECT_EQ(failureDescription(refusal), QStringLiteral("无法请求管理员授权"));
    EXPECT_TRUE(QString::fromUtf8(refusal.what()).contains(QStringLiteral("execve: No such file")));
}
