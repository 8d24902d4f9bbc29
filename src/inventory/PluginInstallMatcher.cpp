#include "inventory/PluginInstallMatcher.h"

#include <QTextBoundaryFinder>

namespace quillon::PluginInstallMatcher {
namespace {

const QString localizedMarker = QStringLiteral(".localized");

// CJK Unified Ideographs (the basic block): letters without case, width forms, marks or
// decompositions, each a user-perceived character of its own.
bool isPlainIdeograph(char16_t u) { return u >= 0x4E00 && u <= 0x9FFF; }

bool isAsciiOrPlainIdeograph(const QString &text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80 && !isPlainIdeograph(c.unicode())) {
            return false;
        }
    }
    return true;
}

// ASCII has no width forms, no diacritics and no case folding beyond lower-casing, and the
// plain ideographs fold to themselves, so the general path below reduces to this for them;
// it is the common case for folder names, Chinese ones included.
QString normalizedAsciiOrIdeographs(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z') {
            out.append(QChar(char16_t(u + (u'a' - u'A'))));
        } else if ((u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || isPlainIdeograph(u)) {
            out.append(c);
        }
    }
    return out;
}

// Full-width Latin and half-width Katakana and Hangul become their ordinary forms.
QString foldWidth(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const QChar::Decomposition tag = c.decompositionTag();
        if (tag == QChar::Wide || tag == QChar::Narrow) {
            out.append(c.decomposition());
        } else {
            out.append(c);
        }
    }
    return out;
}

// The combining accents that diacritic folding drops (all in the Basic Multilingual Plane).
bool isDiacritic(char16_t u) {
    return (u >= 0x0300 && u <= 0x036F) || (u >= 0x1AB0 && u <= 0x1AFF) || (u >= 0x1DC0 && u <= 0x1DFF) ||
           (u >= 0x20D0 && u <= 0x20FF) || (u >= 0xFE20 && u <= 0xFE2F);
}

QString foldDiacritics(const QString &text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (!isDiacritic(c.unicode())) {
            out.append(c);
        }
    }
    return out.normalized(QString::NormalizationForm_C);
}

// Letters whose case fold is more than one letter. toCaseFolded() leaves them as they are
// (it folds one unit to one unit); every other such letter has lost its marks by now.
const char16_t *multiLetterFold(char16_t u) {
    switch (u) {
    case 0x00DF: // sharp s
    case 0x1E9E: // capital sharp s
        return u"ss";
    case 0x0149:
        return u"\u02BCn";
    case 0x0587:
        return u"\u0565\u0582";
    case 0x1E9A:
        return u"a\u02BE";
    case 0xFB00:
        return u"ff";
    case 0xFB01:
        return u"fi";
    case 0xFB02:
        return u"fl";
    case 0xFB03:
        return u"ffi";
    case 0xFB04:
        return u"ffl";
    case 0xFB05:
    case 0xFB06:
        return u"st";
    case 0xFB13:
        return u"\u0574\u0576";
    case 0xFB14:
        return u"\u0574\u0565";
    case 0xFB15:
        return u"\u0574\u056B";
    case 0xFB16:
        return u"\u057E\u0576";
    case 0xFB17:
        return u"\u0574\u056D";
    default:
        return nullptr;
    }
}

QString foldCase(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (const char16_t *fold = multiLetterFold(c.unicode())) {
            out.append(QString::fromUtf16(fold));
        } else {
            out.append(c);
        }
    }
    return out.toCaseFolded().toLower();
}

bool isLetterMarkOrNumber(char32_t scalar) {
    switch (QChar::category(scalar)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

QString keepLettersMarksAndNumbers(const QString &text) {
    QString out;
    out.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            const char32_t scalar = QChar::surrogateToUcs4(c, text.at(i + 1));
            if (isLetterMarkOrNumber(scalar)) {
                out.append(c);
                out.append(text.at(i + 1));
            }
            ++i;
        } else if (!c.isSurrogate() && isLetterMarkOrNumber(c.unicode())) {
            out.append(c);
        }
    }
    return out;
}

} // namespace

const AliasTable &aliasTable() {
    // The studio's products that install under folder names other than their own.
    static const AliasTable table;
    return table;
}

QString normalized(const QString &text) {
    QString s = text;
    s.remove(localizedMarker, Qt::CaseInsensitive);
    if (isAsciiOrPlainIdeograph(s)) {
        return normalizedAsciiOrIdeographs(s);
    }
    s = foldCase(foldDiacritics(foldWidth(s)));
    return keepLettersMarksAndNumbers(s).normalized(QString::NormalizationForm_C);
}

QStringList aliases(const QString &productName, const AliasTable &table) {
    QStringList result{productName};
    const auto it = table.constFind(productName);
    if (it != table.constEnd()) {
        result.append(*it);
    }
    return result;
}

QStringList aliases(const QString &productName) { return aliases(productName, aliasTable()); }

qsizetype perceivedLength(const QString &text) {
    // Below U+0300 every character but CR (which joins a following LF) stands alone, and
    // so does every plain ideograph.
    bool simple = true;
    for (QChar c : text) {
        if ((c.unicode() >= 0x300 && !isPlainIdeograph(c.unicode())) || c == QLatin1Char('\r')) {
            simple = false;
            break;
        }
    }
    if (simple) {
        return text.size();
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

QStringList matchableAliases(const QString &productName, const AliasTable &table) {
    QStringList result;
    for (const QString &alias : aliases(productName, table)) {
        QString folded = normalized(alias);
        if (perceivedLength(folded) >= 3) {
            result.append(std::move(folded));
        }
    }
    return result;
}

bool matches(const QString &productName, const QString &folderName, const AliasTable &table) {
    const QString folder = normalized(folderName);
    if (perceivedLength(folder) < 3) {
        return false;
    }
    for (const QString &alias : aliases(productName, table)) {
        const QString folded = normalized(alias);
        if (perceivedLength(folded) >= 3 && containsAlias(folder, folded)) {
            return true;
        }
    }
    return false;
}

bool matches(const QString &productName, const QString &folderName) {
    return matches(productName, folderName, aliasTable());
}

} // namespace quillon::PluginInstallMatcher
