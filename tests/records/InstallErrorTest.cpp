#include "records/InstallError.h"

#include <gtest/gtest.h>

using quillon::InstallError;

TEST(InstallErrorTest, EachFailureHasItsFixedText) {
    EXPECT_EQ(InstallError::installerFailed(QStringLiteral("磁盘已满")).description(),
              QStringLiteral("macOS 安装失败：磁盘已满"));
    EXPECT_EQ(InstallError::installerFailed(QString()).description(), QStringLiteral("macOS 安装器执行失败"));
    EXPECT_EQ(InstallError::invalidResponse().description(), QStringLiteral("服务器返回异常，请稍后重试"));
    EXPECT_EQ(InstallError::invalidPackage().description(), QStringLiteral("安装包下载失败或文件格式不正确"));
    EXPECT_FALSE(InstallError::invalidPackage() == InstallError::invalidResponse());
}
