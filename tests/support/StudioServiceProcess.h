#pragma once
// The stand-in studio service (tools/studio-service) as a real child process on a free
// port of 127.0.0.1, serving the project's catalogue from a package cache that all test
// runs of this build share. It is stopped when this object goes.

#include <QJsonObject>
#include <QProcess>
#include <QUrl>

namespace quillon::test {

class StudioServiceProcess final {
public:
    /// Starts the service (with `options` beside the catalogue and cache) and waits until
    /// it listens; throws when it does not.
    explicit StudioServiceProcess(const QStringList &options = {});
    ~StudioServiceProcess();
    StudioServiceProcess(const StudioServiceProcess &) = delete;
    StudioServiceProcess &operator=(const StudioServiceProcess &) = delete;

    /// "http://127.0.0.1:<port>/"
    QUrl baseUrl() const { return m_base; }
    /// The catalogue the service serves, as written.
    static QJsonObject catalogue();

private:
    QProcess m_process;
    QUrl m_base;
};

} // namespace quillon::test
