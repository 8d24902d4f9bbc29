#pragma once
// Failures of downloads and installs, each with the text the user sees.

#include "platform/Failure.h"
#include "platform/FailureTexts.h"

#include <QByteArray>
#include <QString>

namespace quillon {

class InstallError final : public UserFacingError {
public:
    enum class Kind { installerFailed, invalidResponse, invalidPackage, administratorCancelled };

    static InstallError installerFailed(const QString &detail) { return InstallError(Kind::installerFailed, detail, {}); }
    static InstallError invalidResponse() { return InstallError(Kind::invalidResponse, {}, {}); }
    static InstallError invalidPackage() { return InstallError(Kind::invalidPackage, {}, {}); }
    /// A privileged command that exited with a failure: the user reads the installer's
    /// failure without the tools' own words, which stay in `output()` for the log.
    static InstallError commandFailed(const QString &output) { return InstallError(Kind::installerFailed, {}, output); }
    /// The administrator password prompt was cancelled or refused.
    static InstallError administratorCancelled(const QString &output) {
        return InstallError(Kind::administratorCancelled, {}, output);
    }

    Kind kind() const { return m_kind; }
    /// The text shown after "macOS 安装失败：" for installerFailed; empty otherwise.
    const QString &detail() const { return m_detail; }
    /// What the privileged command printed (osascript, the installer): for the log only.
    const QString &output() const { return m_output; }

    /// The text shown to the user.
    QString description() const override {
        switch (m_kind) {
        case Kind::installerFailed:
            return m_detail.isEmpty() ? QStringLiteral("macOS 安装器执行失败") : QStringLiteral("macOS 安装失败：") + m_detail;
        case Kind::invalidResponse:
            return QStringLiteral("服务器返回异常，请稍后重试");
        case Kind::invalidPackage:
            return QStringLiteral("安装包下载失败或文件格式不正确");
        case Kind::administratorCancelled:
            return failureText(FailureKind::administratorCancelled);
        }
        return {};
    }

    const char *what() const noexcept override { return m_what.constData(); }

    friend bool operator==(const InstallError &a, const InstallError &b) {
        return a.m_kind == b.m_kind && a.m_detail == b.m_detail;
    }

private:
    InstallError(Kind kind, QString detail, QString output)
        : m_kind(kind), m_detail(std::move(detail)), m_output(std::move(output)),
          m_what((m_output.isEmpty() ? description() : description() + QStringLiteral(": ") + m_output).toUtf8()) {}

    Kind m_kind;
    QString m_detail;
    QString m_output;
    QByteArray m_what;
};

} // namespace quillon
