#pragma once
// Scripts the password prompts of the stand-in osascript for one test: the answers ("run"
// or "cancel") it takes one per call, and the log of every shell script it received. The
// environment variables it reads are set for the life of this object.

#include <QStringList>
#include <QTemporaryDir>

namespace quillon::test {

class ScriptedPrompts final {
public:
    explicit ScriptedPrompts(const QStringList &answers = {});
    ~ScriptedPrompts();
    ScriptedPrompts(const ScriptedPrompts &) = delete;
    ScriptedPrompts &operator=(const ScriptedPrompts &) = delete;

    /// The shell scripts osascript received, one per call, in order.
    QStringList scripts() const;

private:
    QTemporaryDir m_dir;
};

} // namespace quillon::test
