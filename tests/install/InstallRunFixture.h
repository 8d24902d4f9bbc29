#pragma once
// A signed-in model against a download authorisation on 127.0.0.1 that answers by the
// request body (product key and delivery mode), refuses a wrong bearer token or a foreign
// membership, and points at real flat packages served by range servers; the packages
// install through the real runners and stand-in tools under the world's system root.

#include "core/AccountTestSupport.h"
#include "install/ActivationInstallQueue.h"
#include "InstallFixtures.h"
#include "support/RangeServer.h"

#include <QJsonDocument>
#include <QTemporaryDir>

namespace quillon::test {

inline const std::string kDownload = "/api/manager/download";

class InstallRunTest : public AccountTest {
protected:
    const ManagerLicense membership{QStringLiteral("m1"), QStringLiteral("全站会员"), QStringLiteral("all_site")};

    void SetUp() override {
        makeModel();
        signedIn(QStringLiteral("tok"), membership);
        service.answerWith(kDownload, [this](const RecordedRequest &request) { return authorise(request); });
    }

    /// The reply to `productKey` (with "deliveryMode" `mode`, "" for none).
    void answer(const QString &productKey, const QJsonObject &reply, int status = 200, const QString &mode = {}) {
        std::lock_guard lock(m_mutex);
        m_replies[(productKey + QLatin1Char('|') + mode).toStdString()] = ScriptedReply::json(status, reply);
    }

    /// Serves `bytes` at `path` on a server of its own.
    QUrl serve(const std::string &bytes, const std::string &path = "/packages/plugin.pkg",
               RangeServer::Faults faults = {}) {
        m_servers.push_back(std::make_unique<RangeServer>(bytes, path));
        m_servers.back()->setFaults(faults);
        m_servers.back()->start();
        return m_servers.back()->fileUrl();
    }
    RangeServer &server(size_t i = 0) { return *m_servers.at(i); }

    /// A package that installs the title folder `folder`, padded with `padding` bytes of
    /// incompressible content (so the package itself is at least that long).
    std::string package(const QString &folder, qint64 padding = 0) {
        const QString path = m_scratch.filePath(folder + QStringLiteral(".pkg"));
        PackageBuilder(titlesLocation)
            .folder(folder)
            .file(folder + QStringLiteral("/Title.moti"), "motion")
            .file(folder + QStringLiteral("/padding.bin"), QByteArray::fromStdString(patternedBytes(size_t(padding))))
            .write(path);
        return readAll(path).toStdString();
    }

    /// A package of more than 32 MiB (so it is fetched in ranges) installing "Vrel Glow";
    /// built once, it takes a moment.
    const std::string &largePackage() {
        static const std::string bytes = package(QStringLiteral("Vrel Glow"), 33 << 20);
        return bytes;
    }

    static QJsonObject packageReply(const QUrl &url, QJsonObject extra = {}) {
        extra.insert(QStringLiteral("downloadUrl"), url.toString());
        return extra;
    }

    /// One run for `productKey` in account mode.
    bool install(const QString &productKey, bool supplement = false, PreparePackage hand = {}) {
        return run(model->performDownloadAndInstall(productKey, productKey + QStringLiteral(" 名称"), supplement, true,
                                                    std::nullopt, std::move(hand)));
    }

    QString titles(const QString &folder = {}) const {
        return world.paths.systemRoot + titlesLocation + (folder.isEmpty() ? QString() : QLatin1Char('/') + folder);
    }
    QStringList entries(const QString &folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    bool receipt(const QString &key) const { return model->hasInstallReceipt(key); }

private:
    ScriptedReply authorise(const RecordedRequest &request) {
        const QJsonObject body = bodyOf(request);
        if (request.hasHeader("Authorization") && request.header("Authorization") != "Bearer tok") {
            return ScriptedReply::json(401, std::string(R"({"error":"登录已失效，请重新扫码。"})"));
        }
        // The membership, or a bought product authorising itself.
        const QString scope = body.value(QStringLiteral("membershipProductKey")).toString();
        if (body.contains(QStringLiteral("membershipProductKey")) && scope != QStringLiteral("m1") &&
            scope != body.value(QStringLiteral("productKey")).toString()) {
            return ScriptedReply::json(403, std::string(R"({"error":"会员权益不包含该商品。"})"));
        }
        const std::string key = (body.value(QStringLiteral("productKey")).toString() + QLatin1Char('|') +
                                 body.value(QStringLiteral("deliveryMode")).toString())
                                    .toStdString();
        std::lock_guard lock(m_mutex);
        const auto found = m_replies.find(key);
        return found != m_replies.end() ? found->second
                                        : ScriptedReply::json(404, std::string(R"({"error":"没有这个商品。"})"));
    }

    std::mutex m_mutex;
    std::map<std::string, ScriptedReply> m_replies;
    std::vector<std::unique_ptr<RangeServer>> m_servers;
    QTemporaryDir m_scratch;
};

} // namespace quillon::test
