#include "platform/HttpHead.h"

#include <algorithm>
#include <cctype>

namespace quillon::http {
namespace {

// A decimal length without sign or other characters.
std::optional<qint64> parseLength(const QByteArray &text) {
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 18) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<StatusLine> parseStatusLine(const QByteArray &line) {
    const bool shaped = line.startsWith("HTTP/1.") && line.size() >= 12 && std::isdigit(uchar(line.at(7))) &&
                        line.at(8) == ' ' && std::isdigit(uchar(line.at(9))) && std::isdigit(uchar(line.at(10))) &&
                        std::isdigit(uchar(line.at(11))) && (line.size() == 12 || line.at(12) == ' ');
    if (!shaped) {
        return std::nullopt;
    }
    return StatusLine{line.mid(9, 3).toInt(), line.at(7) - '0', line.mid(13)};
}

bool addFieldLine(const QByteArray &line, HeaderFields &fields) {
    if ((line.startsWith(' ') || line.startsWith('\t')) && !fields.isEmpty()) {
        fields.last().second += ' ' + line.trimmed();
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = colon > 0 ? line.left(colon) : QByteArray();
    if (name.isEmpty() || name.contains(' ') || name.contains('\t')) {
        return false;
    }
    fields.append({name, line.mid(colon + 1).trimmed()});
    return true;
}

HeaderFields joinRepeatedFields(const HeaderFields &fields) {
    HeaderFields joined;
    for (const auto &[name, value] : fields) {
        auto same = std::find_if(joined.begin(), joined.end(),
                                 [&](const auto &field) { return field.first.compare(name, Qt::CaseInsensitive) == 0; });
        if (same == joined.end()) {
            joined.append({name, value});
        } else {
            same->second += ", " + value;
        }
    }
    return joined;
}

std::optional<qint64> parseContentLength(const QByteArray &value) {
    std::optional<qint64> length;
    for (const QByteArray &each : value.split(',')) {
        const std::optional<qint64> parsed = parseLength(each);
        if (!parsed || (length && *length != *parsed)) {
            return std::nullopt;
        }
        length = parsed;
    }
    return length;
}

} // namespace quillon::http
