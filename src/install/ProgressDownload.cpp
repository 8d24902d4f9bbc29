#include "install/ProgressDownload.h"

#include "install/DownloadFailure.h"
#include "install/DownloadRequest.h"
#include "install/PartFile.h"
#include "install/RangeTransfer.h"
#include "platform/Http.h"
#include "platform/HttpFramedReply.h"
#include "platform/Logging.h"
#include "platform/Tasks.h"
#include "records/InstallError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>

#include <coroutine>
#include <functional>

#include <algorithm>
#include <memory>
#include <optional>

namespace quillon {
namespace {

// What a streamed reply may buffer before it is written out.
constexpr qint64 kReadBufferSize = 256 * 1024;

// Objects whose signals resume a coroutine must not die inside that signal, which is
// where the coroutine runs on and ends: they go from the event loop instead (or at once
// while the tasks are being ended without it, see EndingTasksAtOnce).
struct DeleteLater {
    void operator()(QObject *object) const { deleteLaterOrNow(object); }
};
template <typename T>
using LaterDeleted = std::unique_ptr<T, DeleteLater>;

double clampedFraction(qint64 done, qint64 total) {
    return std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

// Waits for the transfer's `finished`. A cancellation asks the transfer to stop from its own
// thread; while tasks are being ended at once, the transfer stops there and then (its
// threads joined, its hold on the part file with them) and the wait ends without waiting
// for the `finished` it posts. (The coroutine machinery copies awaiters: the state is shared.)
class TransferDone final {
public:
    TransferDone(RangeTransfer *transfer, std::stop_token token)
        : m_state(std::make_shared<State>(transfer, std::move(token))) {}

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        State &s = *m_state;
        s.handle = handle;
        RangeTransfer *transfer = s.transfer;
        std::weak_ptr<State> weak = m_state;
        s.finished = QObject::connect(transfer, &RangeTransfer::finished, transfer, [weak] {
            if (const auto state = weak.lock()) {
                state->resume();
            }
        });
        s.onStop.emplace(s.token, std::function<void()>([weak, transfer] {
            if (EndingTasksAtOnce::active() && transfer->thread() == QThread::currentThread()) {
                transfer->cancel();
                if (const auto state = weak.lock()) {
                    state->resume(); // ends this callback's own object: nothing of it is touched after
                }
                return;
            }
            QMetaObject::invokeMethod(transfer, [transfer] { transfer->cancel(); }, Qt::QueuedConnection);
        }));
    }
    void await_resume() { m_state->release(); }

private:
    struct State {
        State(RangeTransfer *t, std::stop_token k) : transfer(t), token(std::move(k)) {}
        ~State() { QObject::disconnect(finished); }

        void resume() {
            if (resumed) {
                return;
            }
            resumed = true;
            QObject::disconnect(finished);
            handle.resume();
        }
        void release() {
            QObject::disconnect(finished);
            onStop.reset();
        }

        RangeTransfer *transfer;
        std::stop_token token;
        std::coroutine_handle<> handle;
        QMetaObject::Connection finished;
        std::optional<std::stop_callback<std::function<void()>>> onStop;
        bool resumed = false;
    };
    std::shared_ptr<State> m_state;
};

} // namespace

VrelProgressDownload::VrelProgressDownload(QString destination, std::function<void(double)> progressHandler)
    : m_destination(std::move(destination)), m_progressHandler(std::move(progressHandler)) {}

VrelProgressDownload::~VrelProgressDownload() {
    if (m_network) {
        deleteLaterOrNow(m_network); // the last reply's signal may still be on the stack
    }
}

QNetworkAccessManager *VrelProgressDownload::network() {
    if (!m_network) {
        m_network = new QNetworkAccessManager();
    }
    return m_network;
}

void VrelProgressDownload::publishProgress(double fraction) {
    // Delivered from the event loop, never awaited; dropped if this object is gone by then.
    QMetaObject::invokeMethod(
        this,
        [handler = m_progressHandler, fraction = std::clamp(fraction, 0.0, 1.0)] {
            if (handler) {
                handler(fraction);
            }
        },
        Qt::QueuedConnection);
}

QCoro::Task<HttpResponse> VrelProgressDownload::download(QUrl url, std::stop_token token) {
    std::optional<Probe> probed;
    try {
        auto probing = probe(url, token);
        probed = co_await probing;
    } catch (const TaskCancelled &) {
        throw;
    } catch (const std::exception &error) {
        // A failed probe just means one streamed download of unknown length.
        qCInfo(lcInstall) << "no ranged download:" << error.what();
    }
    const std::optional<qint64> length = probed ? probed->length : std::nullopt;
    // The ranges, and a stream whose framing is read here, open connections of their own:
    // the probe's is not kept open meanwhile. A stream of known length reuses it.
    if (m_network && (!length || (probed->ranged && *length >= kParallelThreshold))) {
        m_network->deleteLater();
        m_network = nullptr;
    }
    if (probed && probed->ranged && *probed->length >= kParallelThreshold) {
        auto parallel = downloadInParallel(url, *probed->length, probed->response, token);
        co_return co_await parallel;
    }
    if (probed && !probed->ranged) {
        qCInfo(lcInstall) << "no ranged download: the server offers no byte ranges";
    }
    auto stream = downloadSingleStream(url, token, length);
    co_return co_await stream;
}

QCoro::Task<VrelProgressDownload::Probe> VrelProgressDownload::probe(QUrl url, std::stop_token token) {
    throwIfCancelled(token);
    QNetworkRequest request = VrelDownloadRequest::make(url);
    request.setTransferTimeout(static_cast<int>(m_timeouts.probe.count()));
    request.setRawHeader("Accept-Encoding", "identity"); // the length of the file as stored
    ReplyOwner reply(network()->head(request));
    auto answered = awaitReply(reply.get(), token);
    co_await answered;
    const QByteArray body = reply->readAll();
    http::throwIfTransportFailed(*reply.get());
    HttpResponse response = HttpResponse::from(*reply.get());
    const std::optional<qint64> length = announcedLength(response, body.size());
    const bool ranged = acceptedProbeLength(response, body.size()).has_value();
    co_return Probe{std::move(response), length, ranged};
}

QCoro::Task<std::pair<qint64, HttpResponse>> VrelProgressDownload::rangeDownloadInfo(QUrl url,
                                                                                     std::stop_token token) {
    auto probing = probe(url, token);
    Probe result = co_await probing;
    if (!result.ranged) {
        throw InstallError::invalidResponse();
    }
    co_return std::pair<qint64, HttpResponse>(*result.length, std::move(result.response));
}

QCoro::Task<HttpResponse> VrelProgressDownload::downloadInParallel(QUrl url, qint64 totalLength,
                                                                   HttpResponse response, std::stop_token token) {
    throwIfCancelled(token);
    // Shared with the transfer's threads: the file stays open until the last of them is gone.
    auto part = std::make_shared<PartFile>(m_destination);
    part->resize(totalLength);

    // A probe the server redirected: the ranges follow the same way, which Qt's client does.
    const bool redirected = response.url.isValid() && response.url != url;
    const RangeTransfer::Transport transport =
        redirected ? RangeTransfer::Transport::qtNetwork : RangeTransfer::transportFor(url);
    LaterDeleted<RangeTransfer> transfer(new RangeTransfer(
        {url, part, totalLength, m_timeouts.range, transport},
        [self = QPointer<VrelProgressDownload>(this), totalLength](qint64 written) {
            if (self) {
                self->publishProgress(clampedFraction(written, totalLength));
            }
        }));
    throwIfCancelled(token);
    transfer->start();
    // The stop may come from whichever thread cancels; the transfer itself is only touched on its own.
    TransferDone finished(transfer.get(), token);
    co_await finished;

    if (transfer->isCancelled() || token.stop_requested()) {
        throw TaskCancelled();
    }
    if (std::exception_ptr error = transfer->error()) {
        std::rethrow_exception(error);
    }
    // Every range has been written and every connection closed.
    part->commit();
    co_return response;
}

QCoro::Task<HttpResponse> VrelProgressDownload::downloadSingleStream(QUrl url, std::stop_token token,
                                                                     std::optional<qint64> expectedLength) {
    throwIfCancelled(token);
    PartFile part(m_destination);
    qint64 written = 0;
    std::optional<DownloadFailure> fileError;

    QNetworkRequest request = VrelDownloadRequest::make(url);
    request.setTransferTimeout(static_cast<int>(m_timeouts.singleStream.count()));
    request.setRawHeader("Accept-Encoding", "identity"); // the bytes as stored, as the probe counted them
    // With a length announced, Qt's client reads the body and the length check below judges
    // it. Without one, the framing is all that tells a whole body from a cut one, and Qt's
    // client can take a chunked body that the connection cut between two chunks for a whole
    // one: such a body is read by a reply that checks the framing itself.
    QNetworkReply *started = nullptr;
    if (expectedLength) {
        request.setRawHeader("Connection", "close"); // nothing follows on the probe's connection
        started = network()->get(request);
        started->setReadBufferSize(kReadBufferSize);
    } else {
        started = new http::FramedReply(request);
    }
    ReplyOwner reply(started);

    QNetworkReply *source = reply.get();
    auto writeAvailable = [source, &part, &written, &fileError] {
        while (source->bytesAvailable() > 0) {
            const QByteArray chunk = source->read(kReadBufferSize);
            if (chunk.isEmpty()) {
                return;
            }
            if (fileError) {
                continue;
            }
            try {
                part.writeAt(written, chunk.constData(), chunk.size());
                written += chunk.size();
            } catch (const DownloadFailure &failure) {
                fileError = failure;
            }
        }
    };
    const QMetaObject::Connection onData = QObject::connect(source, &QNetworkReply::readyRead, source, writeAvailable);
    // Qt 6.4 can miss a connection that closes between two chunks of a limited reply and
    // then waits for the transfer time-out; a body without a length of its own is read
    // without that limit, which ends it at once (and the length check below judges it).
    const QMetaObject::Connection onHeaders = QObject::connect(source, &QNetworkReply::metaDataChanged, source, [source] {
        if (!source->hasRawHeader("Content-Length")) {
            source->setReadBufferSize(0);
        }
    });
    const QMetaObject::Connection onProgress = QObject::connect(
        source, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 expected) {
            if (expected >= 1) {
                publishProgress(clampedFraction(received, expected));
            }
        });
    auto disconnectAll = [&] {
        QObject::disconnect(onData);
        QObject::disconnect(onHeaders);
        QObject::disconnect(onProgress);
    };

    try {
        auto received = awaitReply(source, token);
        co_await received;
    } catch (...) {
        disconnectAll();
        throw;
    }
    disconnectAll();
    writeAvailable();

    http::throwIfTransportFailed(*source);
    const HttpResponse response = HttpResponse::from(*source);
    if (fileError) {
        throw *fileError;
    }
    if (!response.isHttp()) {
        throw InstallError::invalidResponse();
    }
    // A body of no length of its own must still be as long as the probe announced.
    const bool success = response.statusCode >= 200 && response.statusCode <= 299;
    const std::optional<qint64> announced =
        response.hasHeader("Content-Length") ? contentLength(response) : (success ? expectedLength : std::nullopt);
    if (announced && *announced != written) {
        qCWarning(lcInstall) << "download cut short:" << written << "bytes of" << *announced;
        throw InstallError::invalidResponse();
    }
    part.commit();
    co_return response;
}

} // namespace quillon
