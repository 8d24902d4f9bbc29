#include "platform/shared/PropertyListFile.h"

#include <QFile>
#include <QScopeGuard>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

const QByteArray binaryMagic = QByteArrayLiteral("bplist00");
constexpr qsizetype trailerSize = 32;

QString tooDeep() {
    return QStringLiteral("nested deeper than %1 levels").arg(maximumPropertyListDepth);
}

/// Element nesting, counted by a streaming reader: arrays and dictionaries are the levels;
/// any element at all may be nested only as deep as a value inside the deepest level.
QString xmlProblem(const QByteArray &bytes) {
    QXmlStreamReader reader(bytes);
    std::vector<bool> open; // per open element: whether it is an array or a dictionary
    int levels = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const bool level = reader.name() == QLatin1String("array") || reader.name() == QLatin1String("dict");
            open.push_back(level);
            levels += level ? 1 : 0;
            // <plist>, the levels, and one value inside the deepest.
            if (levels > maximumPropertyListDepth || open.size() > size_t(maximumPropertyListDepth) + 2) {
                return tooDeep();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            levels -= open.back() ? 1 : 0;
            open.pop_back();
        }
    }
    if (reader.hasError()) {
        return QStringLiteral("not well-formed XML: ") + reader.errorString();
    }
    return {};
}

quint64 bigEndian(const uchar *bytes, int count) {
    quint64 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

quint64 saturatingSum(quint64 a, quint64 b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

/// The object table of a binary property list ("bplist00"), walked without recursion.
class BinaryWalk final {
public:
    explicit BinaryWalk(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData())), m_size(quint64(bytes.size())),
          m_limit(std::max<quint64>(8 * m_size, 1 << 20)) {}

    QString problem() {
        if (!readTrailer()) {
            return QStringLiteral("a malformed binary property list");
        }
        return walk();
    }

private:
    /// What one object takes in the file and which objects it refers to.
    struct Object {
        quint64 length = 0;     ///< its own bytes, marker to end
        bool container = false; ///< an array, a set or a dictionary
        quint64 references = 0; ///< how many object references follow `at`
        quint64 at = 0;         ///< where its references begin
    };
    struct Frame {
        quint64 index;
        Object object;
        quint64 next = 0;     ///< the next reference to follow
        quint64 expanded = 0; ///< its bytes and those of everything below it, once per reference
        int below = 0;        ///< levels below it
    };
    static constexpr quint16 onPath = UINT16_MAX;

    bool readTrailer() {
        if (m_size < quint64(binaryMagic.size()) + 1 + trailerSize) {
            return false;
        }
        const uchar *trailer = m_data + m_size - trailerSize;
        m_offsetSize = trailer[6];
        m_referenceSize = trailer[7];
        m_count = bigEndian(trailer + 8, 8);
        m_top = bigEndian(trailer + 16, 8);
        m_table = bigEndian(trailer + 24, 8);
        m_end = m_size - trailerSize;
        return m_offsetSize >= 1 && m_offsetSize <= 8 && m_referenceSize >= 1 && m_referenceSize <= 8 && m_count > 0 &&
               m_top < m_count && m_table > quint64(binaryMagic.size()) && m_table < m_end &&
               m_count <= (m_end - m_table) / m_offsetSize;
    }

    /// The length that follows a marker whose low nibble is `nibble`: the nibble itself, or
    /// an integer object after the marker when the nibble is 0xF.
    bool readCount(quint64 &at, int nibble, quint64 &count) const {
        if (nibble != 0xF) {
            count = quint64(nibble);
            return true;
        }
        if (at >= m_end || (m_data[at] >> 4) != 0x1 || (m_data[at] & 0xF) > 3) {
            return false;
        }
        const int size = 1 << (m_data[at] & 0xF);
        if (m_end - at - 1 < quint64(size)) {
            return false;
        }
        count = bigEndian(m_data + at + 1, size);
        at += 1 + quint64(size);
        return true;
    }

    bool readObject(quint64 index, Object &object) const {
        const quint64 offset = bigEndian(m_data + m_table + index * m_offsetSize, m_offsetSize);
        if (offset < quint64(binaryMagic.size()) || offset >= m_end) {
            return false;
        }
        const int type = m_data[offset] >> 4;
        const int nibble = m_data[offset] & 0xF;
        quint64 at = offset + 1;
        quint64 count = 0;
        quint64 body = 0; // bytes after the marker and the count
        switch (type) {
        case 0x0: // null, booleans, fill
            break;
        case 0x1: // integer
        case 0x2: // real
            if (nibble > 4) {
                return false;
            }
            body = quint64(1) << nibble;
            break;
        case 0x3: // date
            body = 8;
            break;
        case 0x4: // data
        case 0x5: // ASCII string
        case 0x7: // UTF-8 string
            if (!readCount(at, nibble, count)) {
                return false;
            }
            body = count;
            break;
        case 0x6: // UTF-16 string
            if (!readCount(at, nibble, count) || count > m_end) {
                return false;
            }
            body = 2 * count;
            break;
        case 0x8: // UID
            body = quint64(nibble) + 1;
            break;
        case 0xA: // array
        case 0xC: // set
        case 0xD: // dictionary: the keys' references, then the values'
            if (!readCount(at, nibble, count) || count > m_end) {
                return false;
            }
            object.container = true;
            object.references = type == 0xD ? 2 * count : count;
            object.at = at;
            body = object.references * m_referenceSize;
            break;
        default:
            return false;
        }
        if (at > m_end || body > m_end - at) {
            return false;
        }
        object.length = at + body - offset;
        return true;
    }

    /// Depth first with an explicit path. Each object's depth and expanded size are kept, so
    /// an object reached again is not walked again; one reached again while it is still on
    /// the path encloses itself.
    QString walk() {
        std::vector<quint16> levels(m_count, 0);   // levels of an object walked: 0 for a plain value
        std::vector<quint64> expanded(m_count, 0); // 0 until the object has been walked
        std::vector<Frame> path;
        const auto enter = [&](quint64 index, QString &problem) {
            Object object;
            if (!readObject(index, object)) {
                problem = QStringLiteral("a malformed binary property list");
                return;
            }
            if (!object.container) {
                expanded[index] = object.length;
                return;
            }
            if (path.size() >= size_t(maximumPropertyListDepth)) {
                problem = tooDeep();
                return;
            }
            levels[index] = onPath;
            path.push_back(Frame{index, object, 0, object.length, 0});
        };
        QString problem;
        enter(m_top, problem);
        while (problem.isEmpty() && !path.empty()) {
            Frame &frame = path.back();
            quint64 child = 0;
            if (frame.next < frame.object.references) {
                child = bigEndian(m_data + frame.object.at + frame.next * m_referenceSize, m_referenceSize);
                ++frame.next;
                if (child >= m_count) {
                    return QStringLiteral("a malformed binary property list");
                }
                if (levels[child] == onPath) {
                    return QStringLiteral("a binary property list that contains itself");
                }
                if (expanded[child] == 0) {
                    enter(child, problem);
                    if (!problem.isEmpty() || levels[child] == onPath) {
                        continue; // a problem, or the child's own references come first
                    }
                }
            } else {
                child = frame.index;
                levels[child] = quint16(frame.below + 1);
                expanded[child] = frame.expanded;
                path.pop_back();
                if (levels[child] > maximumPropertyListDepth) {
                    return tooDeep();
                }
                if (path.empty()) {
                    break;
                }
            }
            Frame &parent = path.back();
            parent.expanded = saturatingSum(parent.expanded, expanded[child]);
            parent.below = std::max<int>(parent.below, levels[child]);
            if (parent.expanded > m_limit) {
                return QStringLiteral("a binary property list that refers to its objects too many times over");
            }
        }
        return problem;
    }

    const uchar *m_data;
    quint64 m_size;
    quint64 m_limit; ///< the most the objects may come to, once per reference
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    quint64 m_count = 0;
    quint64 m_top = 0;
    quint64 m_table = 0;
    quint64 m_end = 0; ///< where the trailer begins
};

/// The whole regular file at `path`, when it is one of at most `maximumBytes`. Opened
/// without waiting (a named pipe would block an ordinary open) and checked on the open file,
/// so nothing is read from a device, a pipe or a file larger than the limit.
bool readRegularFile(const QString &path, qint64 maximumBytes, QByteArray &bytes, QString &error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot open %1: %2").arg(path, qt_error_string(errno));
        return false;
    }
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    if (status.st_size > maximumBytes) {
        error = QStringLiteral("%1 holds %2 bytes, more than %3").arg(path).arg(qint64(status.st_size)).arg(maximumBytes);
        return false;
    }
    // One byte more than the size: a file that grew meanwhile is seen, not cut short.
    bytes.resize(qsizetype(status.st_size) + 1);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(errno));
            return false;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    if (filled > status.st_size) {
        error = QStringLiteral("%1 changed while it was read").arg(path);
        return false;
    }
    bytes.truncate(filled);
    return true;
}

} // namespace

QString propertyListProblem(const QByteArray &bytes) {
    return bytes.startsWith(binaryMagic) ? BinaryWalk(bytes).problem() : xmlProblem(bytes);
}

PropertyList readPropertyListFile(const QString &path, qint64 maximumBytes, QString &error) {
    QByteArray bytes;
    if (!readRegularFile(path, maximumBytes, bytes, error)) {
        return nullptr;
    }
    if (const QString problem = propertyListProblem(bytes); !problem.isEmpty()) {
        error = path + QStringLiteral(": ") + problem;
        return nullptr;
    }
    plist_t root = nullptr;
    if (bytes.startsWith(binaryMagic)) {
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    } else {
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    }
    if (!root) {
        error = path + QStringLiteral(" is not a property list");
    }
    return PropertyList(root);
}

} // namespace quillon
