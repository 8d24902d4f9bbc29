#include "install/BatchInstallResult.h"

#include "records/AdministratorCommand.h"

#include <limits>
#include <optional>

namespace quillon {

namespace {

bool isLineSeparator(QChar c) {
    switch (c.unicode()) {
    case 0x000A: // line feed
    case 0x000B: // line tabulation
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

/// A whole decimal number with an optional sign, or nothing (no blanks, no overflow).
std::optional<qint64> wholeNumber(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace

QString BatchInstallResult::command(const QStringList &packagePaths, const QString &installer) {
    QStringList lines;
    lines.reserve(packagePaths.size());
    const QString quotedInstaller = shellQuoted(installer);
    for (qsizetype i = 0; i < packagePaths.size(); ++i) {
        const QString index = QString::number(i);
        lines.append(QStringLiteral("if ") + quotedInstaller + QStringLiteral(" -pkg ") + shellQuoted(packagePaths[i]) +
                     QStringLiteral(" -target / >/dev/null 2>&1; then echo ") + QLatin1String(successMarker) + index +
                     QStringLiteral("; else echo ") + QLatin1String(failureMarker) + index + QStringLiteral("; fi"));
    }
    return lines.join(QLatin1Char('\n'));
}

QSet<int> BatchInstallResult::successes(const QString &output, int count) {
    QSet<int> indexes;
    const QLatin1String marker(successMarker);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= output.size(); ++i) {
        if (i < output.size() && !isLineSeparator(output[i])) {
            continue;
        }
        const QString piece = output.mid(start, i - start).trimmed();
        start = i + 1;
        if (!piece.startsWith(marker)) {
            continue;
        }
        const std::optional<qint64> n = wholeNumber(QStringView(piece).mid(marker.size()));
        if (n && *n >= 0 && *n < count) {
            indexes.insert(int(*n));
        }
    }
    return indexes;
}

} // namespace quillon
