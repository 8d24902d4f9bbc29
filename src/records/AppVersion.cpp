#include "records/AppVersion.h"

#include <QList>

#include <algorithm>
#include <limits>

namespace quillon::AppVersion {
namespace {

// The leading run of decimal digits of one piece; saturates instead of overflowing.
quint64 leadingNumber(QStringView piece) {
    quint64 value = 0;
    for (QChar c : piece) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            break;
        }
        const quint64 digit = static_cast<quint64>(c.unicode() - '0');
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10) {
            return std::numeric_limits<quint64>::max();
        }
        value = value * 10 + digit;
    }
    return value;
}

QList<quint64> components(const QString &version) {
    const QString trimmed = version.trimmed();
    QList<quint64> result;
    if (trimmed.isEmpty()) {
        return result;
    }
    for (QStringView piece : QStringView(trimmed).split(QLatin1Char('.'))) {
        result.append(leadingNumber(piece));
    }
    return result;
}

} // namespace

Order compare(const QString &lhs, const QString &rhs) {
    const QList<quint64> a = components(lhs);
    const QList<quint64> b = components(rhs);
    const qsizetype count = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 x = i < a.size() ? a[i] : 0;
        const quint64 y = i < b.size() ? b[i] : 0;
        if (x != y) {
            return x > y ? Order::descending : Order::ascending;
        }
    }
    return Order::same;
}

QString current() { return QStringLiteral(QUILLON_VERSION); }

} // namespace quillon::AppVersion
