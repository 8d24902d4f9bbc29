#pragma once
// The parallel half of the download engine: fetches every range of a file over up to
// eight connections and writes each chunk at its offset as it arrives. The main thread
// only starts and ends the transfer and hears progress; no range is ever held in memory.
//
// Two ways to the server:
// - plain sockets, for an http URL that no proxy serves: eight threads, each with one
//   kept-alive connection (RangeConnection), take the next range in turn and move its
//   bytes from socket to file inside the kernel;
// - Qt's client, for everything else (https, proxies, redirects): Qt 6.4 opens at most
//   six HTTP/1.1 connections per host and network manager, so the ranges are spread over
//   two managers (four connections each), each on a thread of its own that also does that
//   manager's file writes through one bounded read buffer.
// Either way the file is written one write at a time (PartFile).

#include "install/RangeConnection.h"
#include "install/RangePlan.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QHostInfo;
class QThread;

namespace quillon {

class PartFile;
class RangeFetcher;

class RangeTransfer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RangeTransfer)
public:
    enum class Transport { qtNetwork, plainSockets };

    struct Settings {
        QUrl url;
        std::shared_ptr<PartFile> file; ///< preallocated, already totalLength bytes long
        qint64 totalLength = 0;
        std::chrono::milliseconds timeout{90'000}; ///< per range request, without traffic
        Transport transport = Transport::qtNetwork;
    };

    /// Plain sockets for an http URL without user information that no proxy of this
    /// application serves; Qt's client otherwise, which speaks TLS and every kind of proxy.
    static Transport transportFor(const QUrl &url);

    /// `onProgress` is called on this object's thread with the bytes written so far.
    RangeTransfer(Settings settings, std::function<void(qint64)> onProgress, QObject *parent = nullptr);
    ~RangeTransfer() override;

    /// Starts the first ranges; `finished` follows later, never from inside this call.
    void start();
    /// Aborts every transfer at once; `finished` follows.
    void cancel();

    bool isCancelled() const { return m_cancelled; }
    /// The first failure; null after success or cancellation.
    std::exception_ptr error() const { return m_error; }

signals:
    void finished();

private:
    friend class RangeFetcher;

    void startFetchers();
    void startNextRange(int fetcher);
    void resolved(const QHostInfo &host);
    void work(RangeConnection *connection); // on a worker thread
    void stopWorkers();
    void rangeDone(int fetcher, int index);
    void rangeFailed(std::exception_ptr error);
    void noteWritten(qint64 bytes); // any thread
    void finish();
    void stopFetchers();

    Settings m_settings;
    std::function<void(qint64)> m_onProgress;
    QList<ByteRange> m_ranges;
    int m_nextRange = 0;
    int m_rangesDone = 0;
    bool m_started = false;
    bool m_finished = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;

    std::atomic<qint64> m_written{0};
    std::atomic<bool> m_progressPending{false};

    std::vector<QThread *> m_threads;
    std::vector<RangeFetcher *> m_fetchers;

    // The plain-socket workers: the ranges are claimed and counted by the workers themselves.
    int m_lookup = -1; ///< the host name lookup under way
    std::unique_ptr<RangeConnection::Target> m_target;
    std::vector<std::unique_ptr<RangeConnection>> m_connections;
    std::vector<QThread *> m_workers;
    std::atomic<int> m_rangesClaimed{0};
    std::atomic<int> m_rangesWritten{0};
    std::atomic<bool> m_stopping{false};
};

} // namespace quillon
