#include "AppleScriptCommand.h"

namespace osascript {

std::optional<ParsedCommand> parseCommand(const QString &source, QString &error) {
    const QString head = QStringLiteral("do shell script \"");
    const QString tail = QStringLiteral("\" with administrator privileges");
    if (!source.startsWith(head) || !source.endsWith(tail) || source.size() < head.size() + tail.size()) {
        error = QStringLiteral("only `do shell script \"…\" with administrator privileges` is supported");
        return std::nullopt;
    }
    const QStringView literal = QStringView(source).mid(head.size(), source.size() - head.size() - tail.size());
    ParsedCommand command;
    command.script.reserve(literal.size());
    for (qsizetype i = 0; i < literal.size(); ++i) {
        const QChar c = literal[i];
        if (c == u'"') {
            error = QStringLiteral("unescaped double quote at offset %1 ends the string early").arg(i);
            return std::nullopt;
        }
        if (c != u'\\') {
            command.script.append(c);
            continue;
        }
        if (i + 1 >= literal.size()) {
            error = QStringLiteral("the string ends with a lone backslash");
            return std::nullopt;
        }
        const QChar next = literal[++i];
        switch (next.unicode()) {
        case u'\\':
            command.script.append(u'\\');
            break;
        case u'"':
            command.script.append(u'"');
            break;
        case u'n':
            command.script.append(u'\n');
            break;
        case u'r':
            command.script.append(u'\r');
            break;
        case u't':
            command.script.append(u'\t');
            break;
        default:
            error = QStringLiteral("unknown string escape \\%1 at offset %2").arg(next).arg(i - 1);
            return std::nullopt;
        }
    }
    return command;
}

QByteArray appleScriptText(QByteArray output) {
    if (output.endsWith("\r\n")) {
        output.chop(2);
    } else if (output.endsWith('\n') || output.endsWith('\r')) {
        output.chop(1);
    }
    output.replace("\r\n", "\r");
    output.replace('\n', '\r');
    return output;
}

} // namespace osascript
