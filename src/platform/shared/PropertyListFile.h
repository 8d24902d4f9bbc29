#pragma once
// Property lists (XML or binary) read from files the program does not control: the
// Info.plist of every bundle the Motion repair finds, and what the stand-in tools check.
//
// libplist parses recursively and copies an object once for every reference to it, so a
// file nested a few hundred thousand levels deep overflows the stack, a binary file whose
// objects refer to each other twice over takes forever, and one that refers to itself
// never ends. Such files are refused before the parser sees them, by walks that need no
// recursion. Only a regular file is read, and only when its size is within the limit.

#include <QByteArray>
#include <QString>

#include <plist/plist.h>

#include <memory>
#include <type_traits>

namespace quillon {

struct PropertyListFree final {
    void operator()(plist_t node) const { plist_free(node); }
};
using PropertyList = std::unique_ptr<std::remove_pointer_t<plist_t>, PropertyListFree>;

/// The deepest nesting of arrays and dictionaries accepted (a top-level dictionary is one level).
inline constexpr int maximumPropertyListDepth = 256;

/// Why `bytes` must not reach the parser, for the log; empty when they are an XML or binary
/// property list nested at most `maximumPropertyListDepth` levels deep, whose binary objects
/// refer to no object that encloses them and, counted once per reference, come to no more
/// than eight times the list's size (or 1 MiB for a small one).
QString propertyListProblem(const QByteArray &bytes);

/// The property list in the file at `path`, or null with `error` set (for the log) when the
/// path is not a regular file, the file is larger than `maximumBytes`, or it holds no
/// property list that `propertyListProblem` accepts.
PropertyList readPropertyListFile(const QString &path, qint64 maximumBytes, QString &error);

} // namespace quillon
