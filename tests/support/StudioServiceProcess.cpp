#include "support/StudioServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <stdexcept>

namespace quillon::test {

StudioServiceProcess::StudioServiceProcess(const QStringList &options) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QDir(QStringLiteral(QUILLON_TOOLS_DIR)).filePath(QStringLiteral("quillon-studio-service")),
                    QStringList{QStringLiteral("--catalogue"), QStringLiteral(QUILLON_STUDIO_CATALOGUE),
                                QStringLiteral("--cache"), QStringLiteral(QUILLON_STUDIO_CACHE)} +
                        options);
    // The first start of a build folder builds the packages (seconds; longer when sanitised).
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(180'000)) {
            throw std::runtime_error("the stand-in studio service did not start");
        }
    }
    m_base = QUrl(QString::fromUtf8(m_process.readLine().trimmed()));
    if (!m_base.isValid() || m_base.port() <= 0) {
        throw std::runtime_error("the stand-in studio service printed no address");
    }
}

StudioServiceProcess::~StudioServiceProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(10'000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QJsonObject StudioServiceProcess::catalogue() {
    QFile file(QStringLiteral(QUILLON_STUDIO_CATALOGUE));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read the studio catalogue");
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace quillon::test
