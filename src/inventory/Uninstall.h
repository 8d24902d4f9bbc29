#pragma once
// What the uninstall may hand to its administrator command. The command runs as root, so a
// path reaches it only when it is a plug-in folder of a template tree: root/category/name,
// with the category folder really being the one inside the real root (a linked category
// folder could otherwise lead `rm -rf` anywhere).

#include "platform/Failure.h"

#include <QString>
#include <QStringList>

namespace quillon {

/// The uninstall refused the paths it was given; nothing ran.
class UninstallRefused final : public UserFacingError {
public:
    explicit UninstallRefused(QString path) : m_path(std::move(path)), m_what(m_path.toUtf8()) {}
    /// The first path refused (empty when there was nothing to remove).
    const QString &path() const { return m_path; }
    QString description() const override {
        return m_path.isEmpty() ? QStringLiteral("没有可删除的插件文件夹")
                                : QStringLiteral("不是模板文件夹中的插件文件夹：") + m_path;
    }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_path;
    QByteArray m_what;
};

/// The folders to remove for `paths`: each written as its real category folder plus its
/// name, without duplicates. Throws UninstallRefused when any path is not a plug-in folder
/// directly inside a category folder of one of `roots`, or when nothing is left to remove.
QStringList removablePluginFolders(const QStringList &paths, const QStringList &roots);

/// "<rm> -rf" followed by every folder, each quoted for the shell.
QString removalCommand(const QString &rm, const QStringList &folders);

} // namespace quillon
