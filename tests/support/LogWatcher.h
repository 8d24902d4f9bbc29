#pragma once
// Records what the program logs while it lives, so that a test can wait for the moment a
// deliberately ignored event was handled ("a reply for an earlier selection was dropped")
// instead of sleeping before it asserts that nothing changed.

#include <QMessageLogContext>
#include <QString>
#include <QStringList>

#include <mutex>

namespace quillon::test {

class LogWatcher final {
public:
    LogWatcher() {
        std::lock_guard lock(mutex());
        current() = this;
        m_previous = qInstallMessageHandler(&LogWatcher::handle);
    }
    ~LogWatcher() {
        std::lock_guard lock(mutex());
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    LogWatcher(const LogWatcher &) = delete;
    LogWatcher &operator=(const LogWatcher &) = delete;

    /// Whether a message containing `text` has been logged since this watcher was made.
    bool saw(const QString &text) const {
        std::lock_guard lock(mutex());
        for (const QString &line : m_lines) {
            if (line.contains(text)) {
                return true;
            }
        }
        return false;
    }

private:
    static std::mutex &mutex() {
        static std::mutex m;
        return m;
    }
    static LogWatcher *&current() {
        static LogWatcher *watcher = nullptr;
        return watcher;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message) {
        QtMessageHandler previous = nullptr;
        {
            std::lock_guard lock(mutex());
            if (LogWatcher *watcher = current()) {
                watcher->m_lines.append(message);
                previous = watcher->m_previous;
            }
        }
        if (previous) {
            previous(type, context, message);
        }
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

} // namespace quillon::test
