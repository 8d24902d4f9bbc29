#pragma once
// The one AppleScript command the stand-in understands:
//   do shell script "<script>" with administrator privileges
// with the script written as an AppleScript string literal.

#include <QString>

#include <optional>

namespace osascript {

struct ParsedCommand {
    /// The shell script, with the string escapes undone.
    QString script;
};

/// The script of `source`, or nothing with `error` set to why it was refused.
std::optional<ParsedCommand> parseCommand(const QString &source, QString &error);

/// Shell output as `do shell script` returns it: one final line end dropped, line feeds
/// (and CR LF pairs) turned into carriage returns.
QByteArray appleScriptText(QByteArray output);

} // namespace osascript
