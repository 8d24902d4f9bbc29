#include "InstallerWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

/// The installer's reason for a failure: its "Error - " line, else all it said.
QString failureReason(const QByteArray &output) {
    const QString text = QString::fromUtf8(output);
    const QString marker = QStringLiteral("installer: Error - ");
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith(marker)) {
            return line->mid(marker.size()).trimmed();
        }
    }
    return text.trimmed().isEmpty() ? QStringLiteral("安装程序意外退出。") : text.trimmed();
}

} // namespace

InstallerWindow::InstallerWindow(QString package, QString installer)
    : m_package(std::move(package)), m_installer(std::move(installer)), m_status(new QLabel(this)),
      m_install(new QPushButton(QStringLiteral("安装"), this)), m_close(new QPushButton(QStringLiteral("取消"), this)) {
    setWindowTitle(QStringLiteral("安装器"));
    auto *title = new QLabel(QStringLiteral("安装“%1”").arg(QFileInfo(m_package).fileName()), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_status->setWordWrap(true);
    m_status->setText(QStringLiteral("点按“安装”，将此软件包安装到这台电脑上。"));
    m_install->setDefault(true);
    if (!QFileInfo(m_package).isFile()) {
        m_status->setText(missingPackageText());
        m_install->setEnabled(false);
        m_close->setText(QStringLiteral("关闭"));
    }
    connect(m_install, &QPushButton::clicked, this, &InstallerWindow::install);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_close);
    buttons->addWidget(m_install);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(420, 160);
}

void InstallerWindow::install() {
    if (m_state != State::Ready) {
        return;
    }
    if (!QFileInfo(m_package).isFile()) {
        finish(false, missingPackageText());
        return;
    }
    m_state = State::Installing;
    m_status->setText(QStringLiteral("正在安装…"));
    m_install->setEnabled(false);
    m_close->setEnabled(false);
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        const bool ok = status == QProcess::NormalExit && exitCode == 0;
        finish(ok, ok ? QStringLiteral("安装成功。") : QStringLiteral("安装失败：%1").arg(failureReason(m_process->readAll())));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) { // no finished() follows
            finish(false, QStringLiteral("安装失败：找不到安装程序“%1”。").arg(m_installer));
        }
    });
    m_process->start(m_installer, {QStringLiteral("-pkg"), m_package, QStringLiteral("-target"), QStringLiteral("/")});
}

QString InstallerWindow::missingPackageText() const { return QStringLiteral("找不到安装包“%1”。").arg(m_package); }

QString InstallerWindow::statusText() const { return m_status->text(); }

void InstallerWindow::closeEvent(QCloseEvent *event) {
    if (m_state == State::Installing) {
        event->ignore();
        return;
    }
    event->accept();
}

void InstallerWindow::finish(bool succeeded, const QString &text) {
    m_state = succeeded ? State::Installed : State::Failed;
    m_status->setText(text);
    m_close->setText(QStringLiteral("关闭"));
    m_close->setEnabled(true);
    if (onFinished) {
        onFinished();
    }
}
