#include "core/FixedURLs.h"
#include "install/DownloadRequest.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(DownloadRequestTest, GetsWithASixtySecondTimeOut) {
    const QNetworkRequest request = VrelDownloadRequest::make(QUrl(QStringLiteral("http://127.0.0.1:9/a.pkg")));
    EXPECT_EQ(request.url(), QUrl(QStringLiteral("http://127.0.0.1:9/a.pkg")));
    EXPECT_EQ(request.transferTimeout(), 60'000);
    EXPECT_FALSE(request.hasRawHeader("Referer"));
}

TEST(DownloadRequestTest, OnlyHttpsOnTheCdnHostsCarriesTheShopAsReferer) {
    const QStringList hosts = downloadCDNHosts();
    ASSERT_EQ(hosts.size(), 2);
    for (const QString &host : hosts) {
        const QNetworkRequest request = VrelDownloadRequest::make(QUrl(QStringLiteral("https://%1/p/x.pkg").arg(host)));
        EXPECT_EQ(request.rawHeader("Referer"), shopRootURL().toString().toUtf8()) << host.toStdString();
        EXPECT_TRUE(request.rawHeader("Referer").endsWith('/'));
        EXPECT_TRUE(request.rawHeader("Referer").startsWith("https://"));
    }
    const QNetworkRequest upperCase =
        VrelDownloadRequest::make(QUrl(QStringLiteral("HTTPS://%1/x.pkg").arg(hosts[0].toUpper())));
    EXPECT_TRUE(upperCase.hasRawHeader("Referer"));

    EXPECT_FALSE(VrelDownloadRequest::make(QUrl(QStringLiteral("http://%1/x.pkg").arg(hosts[0]))).hasRawHeader("Referer"));
    EXPECT_FALSE(VrelDownloadRequest::make(QUrl(QStringLiteral("https://other.example/x.pkg"))).hasRawHeader("Referer"));
    EXPECT_FALSE(
        VrelDownloadRequest::make(QUrl(QStringLiteral("https://x%1/x.pkg").arg(hosts[0]))).hasRawHeader("Referer"));
}
