#pragma once
// Readable Qt values in assertion failures.

#include <QString>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
