#pragma once
// Scripts the password prompts of the stand-in osascript for one test: the answers ("run"
// or "cancel") it takes one per call, and the log of every shell script it received. The
// environment variables it reads are set for the life of this object.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

namespace quillon::test {

class ScriptedPrompts final {
public:
    explicit ScriptedPrompts(const QStringList &answers = {}) {
        QFile file(m_dir.filePath(QStringLiteral("answers")));
        file.open(QIODevice::WriteOnly);
        file.write(answers.join(QLatin1Char('\n')).toUtf8());
        qputenv("QUILLON_OSASCRIPT_ANSWERS", QFile::encodeName(file.fileName()));
        qputenv("QUILLON_OSASCRIPT_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("log"))));
    }
    ~ScriptedPrompts() {
        qunsetenv("QUILLON_OSASCRIPT_ANSWERS");
        qunsetenv("QUILLON_OSASCRIPT_LOG");
    }
    ScriptedPrompts(const ScriptedPrompts &) = delete;
    ScriptedPrompts &operator=(const ScriptedPrompts &) = delete;

    /// The shell scripts osascript received, one per call, in order.
    QStringList scripts() const {
        QFile log(m_dir.filePath(QStringLiteral("log")));
        QStringList scripts;
        for (const QByteArray &line : log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QByteArrayList()) {
            if (!line.isEmpty()) {
                scripts.append(QJsonDocument::fromJson(line).object().value(QStringLiteral("script")).toString());
            }
        }
        return scripts;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace quillon::test
