#include "core/ServiceClient.h"
#include "model/PluginManager.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(DownloadAuthorization, OnlyAbsoluteWebURLsAreUsable) {
    EXPECT_EQ(serviceWebURL(QStringLiteral("https://pan.example.test/s/1abc?pwd=x")),
              QUrl(QStringLiteral("https://pan.example.test/s/1abc?pwd=x")));
    EXPECT_TRUE(serviceWebURL(QStringLiteral("HTTP://127.0.0.1:8080/p.pkg")));
    for (const char *text : {"", "not a url", "file:///etc/passwd", "/files/p.pkg", "javascript:alert(1)",
                             "ftp://host/p.pkg", "https://", "http:///p.pkg", "https://host/bad path%zz"}) {
        EXPECT_FALSE(serviceWebURL(QString::fromUtf8(text))) << text;
    }
    EXPECT_FALSE(serviceWebURL(std::nullopt));
}

TEST(ProtectedTemplatePackages, KnownByFileNameInAnyCaseOrByProduct) {
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(std::nullopt, QStringLiteral("FCP-2.pkg")));
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("x"), QStringLiteral("dir/fcp-3.PKG")));
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("FCP-Template-Wedding"), QString()));
    EXPECT_FALSE(PluginManager::usesProtectedFcpTemplatePackage(std::nullopt, QStringLiteral("fcp-4.pkg")));
    EXPECT_FALSE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("fcp-template"), QStringLiteral("fcp-1.pkg.zip")));
}
