#pragma once
// Shared by the install suites: the stand-in tools, the template folder under the
// world's system root, and a snapshot of a whole folder tree to prove what was written.

#include "packaging/PackageBuilder.h"
#include "records/AdministratorCommand.h"
#include "support/Printing.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>


namespace quillon::test {

using packaging::PackageBuilder;

/// Sets an environment variable for one test; the child processes inherit it.
class ScopedEnvironment final {
public:
    ScopedEnvironment(const char *name, const QByteArray &value) : m_name(name) { qputenv(name, value); }
    ~ScopedEnvironment() { qunsetenv(m_name); }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
};

/// Where the plug-in packages of the tests install.
inline const QString titlesLocation =
    QStringLiteral("/Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized");

inline QString standIn(const QString &tool) { return QDir(QStringLiteral(QUILLON_TOOLS_DIR)).filePath(tool); }

inline QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

/// Every path under `root` (links not followed) with its kind and contents or link target.
inline QMap<QString, QByteArray> snapshot(const QString &root) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (info.isSymLink()) {
            tree.insert(path, "link:" + info.symLinkTarget().toUtf8());
        } else if (info.isDir()) {
            tree.insert(path, "dir");
        } else {
            tree.insert(path, "file:" + readAll(path));
        }
    }
    return tree;
}

/// The result of running a tool as a child process.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun runTool(const QString &tool, const QStringList &arguments, const QProcessEnvironment &environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(standIn(tool), arguments);
    process.waitForFinished(-1);
    ToolRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

inline PrivilegedTools privilegedTools(const TestWorld &world) { return PrivilegedTools::of(world.environment()); }

} // namespace quillon::test
