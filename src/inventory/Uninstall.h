#pragma once
// What the uninstall may hand to its administrator command. The command runs as root, so a
// path reaches it only when it is a plug-in folder of a template tree: root/category/name,
// with the category folder really being the one inside the real root (a linked category
// folder could otherwise lead `rm -rf` anywhere). The check is made twice: here, before
// the password prompt, and again by the command itself in the shell that deletes, since a
// process of the user may swap a folder of the user's tree for a link while the prompt waits.

#include "platform/Failure.h"

#include <QString>
#include <QStringList>

namespace quillon {

/// The uninstall refused the paths it was given; nothing ran.
class UninstallRefused final : public UserFacingError {
public:
    enum class Reason {
        notAPluginFolder,
        /// The folder's name on disk is not valid UTF-8: the text the scan made of it names
        /// no folder, so no command could reach it.
        unspellableName,
    };
    explicit UninstallRefused(QString path, Reason reason = Reason::notAPluginFolder)
        : m_path(std::move(path)), m_reason(reason), m_what(m_path.toUtf8()) {}
    /// The first path refused (empty when there was nothing to remove).
    const QString &path() const { return m_path; }
    Reason reason() const { return m_reason; }
    QString description() const override {
        if (m_path.isEmpty()) {
            return QStringLiteral("没有可删除的插件文件夹");
        }
        return m_reason == Reason::unspellableName ? QStringLiteral("文件夹名称无法识别，不能删除：") + m_path
                                                   : QStringLiteral("不是模板文件夹中的插件文件夹：") + m_path;
    }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_path;
    Reason m_reason;
    QByteArray m_what;
};

/// The administrator command ended well, yet a folder it was to remove is still there.
class UninstallIncomplete final : public UserFacingError {
public:
    explicit UninstallIncomplete(QString path) : m_path(std::move(path)), m_what(m_path.toUtf8()) {}
    const QString &path() const { return m_path; }
    QString description() const override { return QStringLiteral("插件文件夹没有删除：") + m_path; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_path;
    QByteArray m_what;
};

/// The folders to remove for `paths`: each written as its real category folder plus its
/// name, without duplicates. Throws UninstallRefused when any path is not a plug-in folder
/// directly inside a category folder of one of `roots`, when a folder's name cannot be
/// written back as it is on disk, or when nothing is left to remove.
QStringList removablePluginFolders(const QStringList &paths, const QStringList &roots);

/// The shell script that removes `folders` (as removablePluginFolders gives them) with `rm`,
/// one after another. For each it enters the category folder physically, makes sure it is
/// the real path it was when checked (no link on the way), and only then removes the
/// plug-in folder by its name inside it; the first mismatch or failure ends the script with
/// a non-zero status.
QString removalCommand(const QString &rm, const QStringList &folders);

/// Throws UninstallIncomplete for the first of `folders` that is still there, be it under its
/// own path or under a name on disk that the scan would show as the same.
void ensureRemoved(const QStringList &folders);

} // namespace quillon
