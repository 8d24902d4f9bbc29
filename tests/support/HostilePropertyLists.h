#pragma once
// Property lists built byte by byte, as someone who wants the reader to fall over would
// build them: nested hundreds of thousands of levels deep, binary object tables whose
// objects contain themselves or refer to one another many times over, broken tables.
// No property-list writer makes these (libplist's own would overflow its stack).

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace quillon::test {

/// A binary property list ("bplist00"), object by object; every adder returns the new
/// object's index, which later objects refer to it by.
class BinaryPropertyList final {
public:
    int string(const QByteArray &ascii);
    int array(const QList<int> &items = {});
    int dictionary(const QList<std::pair<int, int>> &items);
    /// An object written exactly as `encoded`, marker and all, right or wrong.
    int raw(const QByteArray &encoded);
    /// Replaces what the array `index` holds: references to objects added later, or to itself.
    void setItems(int index, const QList<int> &items);

    /// The whole file with `top` as its root object; integers in the table take as few bytes as they need.
    QByteArray bytes(int top = 0) const;

private:
    struct Object {
        int type;      ///< the marker's high nibble; -1 for a raw object
        QByteArray payload;
        QList<int> references;
    };
    QList<Object> m_objects;
};

/// A property list that is `depth` nested arrays, the innermost empty.
QByteArray xmlNestedArrays(int depth);
QByteArray binaryNestedArrays(int depth);

/// An Info.plist naming `identifier` and `executable`, with `depth` nested arrays under the
/// key "Nested" (none when 0): the dictionary is one level more.
QByteArray xmlInfo(const QString &identifier, const QString &executable, int depth);
QByteArray binaryInfo(const QString &identifier, const QString &executable, int depth);

/// The XML property list `xml` with `depth` nested arrays put under the key "Nested" of its
/// first dictionary.
QByteArray withNestedArrays(const QByteArray &xml, int depth);

} // namespace quillon::test
