#include "platform/DisplayText.h"

namespace quillon {
namespace {

constexpr char16_t kLineSeparator = 0x2028;
constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kNextLine = 0x0085;

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

/// The characters that change the direction text is laid out in (Unicode's Bidi_Control).
bool isDirectionControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == kNextLine || c == kLineSeparator ||
           c == kParagraphSeparator;
}

} // namespace

QString displayLine(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (isControl(c) || isDirectionControl(c) || c == kLineSeparator || c == kParagraphSeparator) {
            continue;
        }
        shown.append(qc);
    }
    return shown;
}

QString displayNote(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    bool afterCarriageReturn = false;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\n' && afterCarriageReturn) {
            afterCarriageReturn = false;
            continue; // CR LF is one break, not two
        }
        afterCarriageReturn = c == u'\r';
        if (isLineBreak(c)) {
            shown.append(QLatin1Char('\n'));
        } else if (!isControl(c) && !isDirectionControl(c)) {
            shown.append(qc);
        }
    }
    return shown;
}

} // namespace quillon
