#pragma once
// What the uninstall may hand to its administrator command. The command runs as root, so a
// path reaches it only when it is a plug-in folder of a template tree: root/category/name,
// with the category folder really being the one inside the real root (a linked category
// folder could otherwise lead `rm -rf` anywhere).

#include <QString>
#include <QStringList>

#include <exception>

namespace quillon {

/// The uninstall refused the paths it was given; nothing ran.
class UninstallRefused final : public std::exception {
public:
    explicit UninstallRefused(QString path) : m_path(std::move(path)) {}
    /// The first path refused (empty when there was nothing to remove).
    const QString &path() const { return m_path; }
    const char *what() const noexcept override { return "uninstall refused"; }

private:
    QString m_path;
};

/// The folders to remove for `paths`: each written as its real category folder plus its
/// name, without duplicates. Throws UninstallRefused when any path is not a plug-in folder
/// directly inside a category folder of one of `roots`, or when nothing is left to remove.
QStringList removablePluginFolders(const QStringList &paths, const QStringList &roots);

/// "<rm> -rf" followed by every folder, each quoted for the shell.
QString removalCommand(const QString &rm, const QStringList &folders);

} // namespace quillon
