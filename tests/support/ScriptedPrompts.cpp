#include "support/ScriptedPrompts.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace quillon::test {

namespace {
constexpr char answersVariable[] = "QUILLON_OSASCRIPT_ANSWERS";
constexpr char logVariable[] = "QUILLON_OSASCRIPT_LOG";
} // namespace

ScriptedPrompts::ScriptedPrompts(const QStringList &answers) {
    QFile file(m_dir.filePath(QStringLiteral("answers")));
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write the answers file");
    }
    file.write(answers.join(QLatin1Char('\n')).toUtf8());
    qputenv(answersVariable, QFile::encodeName(file.fileName()));
    qputenv(logVariable, QFile::encodeName(m_dir.filePath(QStringLiteral("log"))));
}

ScriptedPrompts::~ScriptedPrompts() {
    qunsetenv(answersVariable);
    qunsetenv(logVariable);
}

QStringList ScriptedPrompts::scripts() const {
    QFile log(m_dir.filePath(QStringLiteral("log")));
    QStringList scripts;
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (!line.isEmpty()) {
                scripts.append(QJsonDocument::fromJson(line).object().value(QStringLiteral("script")).toString());
            }
        }
    }
    return scripts;
}

} // namespace quillon::test
