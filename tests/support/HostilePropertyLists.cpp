#include "support/HostilePropertyLists.h"

#include <stdexcept>

namespace quillon::test {
namespace {

const QByteArray xmlHead = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">");
const QByteArray xmlTail = QByteArrayLiteral("</plist>\n");

QByteArray nested(int depth) {
    return QByteArrayLiteral("<array>").repeated(depth) + QByteArrayLiteral("</array>").repeated(depth);
}

/// How many bytes a big-endian integer up to `largest` needs.
int widthFor(quint64 largest) {
    int width = 1;
    while (width < 8 && (largest >> (8 * width)) != 0) {
        ++width;
    }
    return width;
}

void appendBigEndian(QByteArray &out, quint64 value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out.append(char((value >> (8 * i)) & 0xFF));
    }
}

/// A marker with its count: in the low nibble, or after it as an integer object.
void appendMarker(QByteArray &out, int type, quint64 count) {
    if (count < 15) {
        out.append(char((type << 4) | int(count)));
        return;
    }
    out.append(char((type << 4) | 0xF));
    const int width = widthFor(count) <= 1 ? 1 : widthFor(count) <= 2 ? 2 : widthFor(count) <= 4 ? 4 : 8;
    out.append(char(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
    appendBigEndian(out, count, width);
}

} // namespace

int BinaryPropertyList::string(const QByteArray &ascii) {
    m_objects.append(Object{0x5, ascii, {}});
    return int(m_objects.size() - 1);
}

int BinaryPropertyList::array(const QList<int> &items) {
    m_objects.append(Object{0xA, {}, items});
    return int(m_objects.size() - 1);
}

int BinaryPropertyList::dictionary(const QList<std::pair<int, int>> &items) {
    QList<int> references;
    for (const auto &item : items) {
        references.append(item.first);
    }
    for (const auto &item : items) {
        references.append(item.second);
    }
    m_objects.append(Object{0xD, {}, references});
    return int(m_objects.size() - 1);
}

int BinaryPropertyList::raw(const QByteArray &encoded) {
    m_objects.append(Object{-1, encoded, {}});
    return int(m_objects.size() - 1);
}

void BinaryPropertyList::setItems(int index, const QList<int> &items) { m_objects[index].references = items; }

QByteArray BinaryPropertyList::bytes(int top) const {
    const int referenceWidth = widthFor(quint64(m_objects.size() - 1));
    QByteArray out = QByteArrayLiteral("bplist00");
    QList<quint64> offsets;
    for (const Object &object : m_objects) {
        offsets.append(quint64(out.size()));
        if (object.type < 0) {
            out.append(object.payload);
            continue;
        }
        const quint64 count = object.type == 0xD ? quint64(object.references.size() / 2)
                              : object.type == 0xA ? quint64(object.references.size())
                                                   : quint64(object.payload.size());
        appendMarker(out, object.type, count);
        out.append(object.payload);
        for (const int reference : object.references) {
            appendBigEndian(out, quint64(reference), referenceWidth);
        }
    }
    const quint64 table = quint64(out.size());
    const int offsetWidth = widthFor(table);
    for (const quint64 offset : offsets) {
        appendBigEndian(out, offset, offsetWidth);
    }
    out.append(QByteArray(6, '\0'));
    out.append(char(offsetWidth));
    out.append(char(referenceWidth));
    appendBigEndian(out, quint64(m_objects.size()), 8);
    appendBigEndian(out, quint64(top), 8);
    appendBigEndian(out, table, 8);
    return out;
}

QByteArray xmlNestedArrays(int depth) { return xmlHead + nested(depth) + xmlTail; }

QByteArray binaryNestedArrays(int depth) {
    BinaryPropertyList list;
    for (int i = 0; i < depth; ++i) {
        list.array(i + 1 < depth ? QList<int>{i + 1} : QList<int>{});
    }
    return list.bytes(0);
}

QByteArray xmlInfo(const QString &identifier, const QString &executable, int depth) {
    QByteArray dictionary = "<dict><key>CFBundleIdentifier</key><string>" + identifier.toHtmlEscaped().toUtf8() +
                            "</string><key>CFBundleExecutable</key><string>" + executable.toHtmlEscaped().toUtf8() +
                            "</string></dict>";
    return withNestedArrays(xmlHead + dictionary + xmlTail, depth);
}

QByteArray binaryInfo(const QString &identifier, const QString &executable, int depth) {
    BinaryPropertyList list;
    // Braced lists are evaluated in order: keys and values are added in the order they read.
    QList<std::pair<int, int>> items{
        {list.string("CFBundleIdentifier"), list.string(identifier.toLatin1())},
        {list.string("CFBundleExecutable"), list.string(executable.toLatin1())},
    };
    if (depth > 0) {
        const int key = list.string("Nested");
        const int outermost = list.array();
        for (int level = 1, outer = outermost; level < depth; ++level) {
            const int inner = list.array();
            list.setItems(outer, {inner});
            outer = inner;
        }
        items.append({key, outermost});
    }
    return list.bytes(list.dictionary(items));
}

QByteArray withNestedArrays(const QByteArray &xml, int depth) {
    const qsizetype at = xml.indexOf("<dict>");
    if (at < 0) {
        throw std::invalid_argument("no dictionary to nest arrays in");
    }
    if (depth == 0) {
        return xml;
    }
    QByteArray out = xml;
    return out.insert(at + 6, "<key>Nested</key>" + nested(depth));
}

} // namespace quillon::test
