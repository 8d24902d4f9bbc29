#include "platform/Failure.h"
#include "platform/FailureTexts.h"
#include "support/LogWatcher.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

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

TEST(FailureTest, EachCauseOfAFileErrorHasItsOwnWords) {
    const std::vector<std::pair<int, QString>> causes{
        {EACCES, QStringLiteral("没有写入权限")},   {EPERM, QStringLiteral("没有写入权限")},
        {EROFS, QStringLiteral("没有写入权限")},    {ENAMETOOLONG, QStringLiteral("文件名过长")},
        {EISDIR, QStringLiteral("已有同名文件夹")}, {ENOSPC, QStringLiteral("磁盘空间不足")},
        {EDQUOT, QStringLiteral("磁盘空间不足")},   {EIO, QStringLiteral("无法写入文件")},
    };
    for (const auto &[errorNumber, words] : causes) {
        EXPECT_EQ(failureText(fileFailureKind(errorNumber)), words) << errorNumber;
    }
}
