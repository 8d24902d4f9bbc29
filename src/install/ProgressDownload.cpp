#include "install/ProgressDownload.h"

#include "install/DownloadFailure.h"
#include "install/DownloadRequest.h"
#include "install/InstallError.h"
#include "install/RangeTransfer.h"
#include "platform/Http.h"
#include "platform/Logging.h"
#include "platform/Tasks.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTemporaryFile>

#include <algorithm>
#include <memory>
#include <optional>

namespace quillon {
namespace {

// What a streamed reply may buffer before it is written out.
constexpr qint64 kReadBufferSize = 256 * 1024;

// Objects whose signals resume a coroutine must not die inside that signal, which is
// where the coroutine runs on and ends: they go from the event loop instead.
struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};
template <typename T>
using LaterDeleted = std::unique_ptr<T, DeleteLater>;

double clampedFraction(qint64 done, qint64 total) {
    return std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

} // namespace

VrelProgressDownload::VrelProgressDownload(QString destination, std::function<void(double)> progressHandler)
    : m_destination(std::move(destination)), m_progressHandler(std::move(progressHandler)) {}

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
    std::optional<std::pair<qint64, HttpResponse>> probe;
    try {
        auto probing = rangeDownloadInfo(url, token);
        probe = co_await probing;
    } catch (const TaskCancelled &) {
        throw;
    } catch (const std::exception &error) {
        // Any probe failure just means one streamed download.
        qCInfo(lcInstall) << "no ranged download:" << error.what();
    }
    if (probe && probe->first >= kParallelThreshold) {
        auto parallel = downloadInParallel(url, probe->first, probe->second, token);
        co_return co_await parallel;
    }
    auto stream = downloadSingleStream(url, token);
    co_return co_await stream;
}

QCoro::Task<std::pair<qint64, HttpResponse>> VrelProgressDownload::rangeDownloadInfo(QUrl url,
                                                                                     std::stop_token token) {
    throwIfCancelled(token);
    LaterDeleted<QNetworkAccessManager> network(new QNetworkAccessManager());
    QNetworkRequest request = VrelDownloadRequest::make(url);
    request.setTransferTimeout(static_cast<int>(m_timeouts.probe.count()));
    request.setRawHeader("Accept-Encoding", "identity"); // the length of the file as stored
    ReplyOwner reply(network->head(request));
    auto answered = awaitReply(reply.get(), token);
    co_await answered;
    const QByteArray body = reply->readAll();
    http::throwIfTransportFailed(*reply.get());
    HttpResponse response = HttpResponse::from(*reply.get());
    const std::optional<qint64> length = acceptedProbeLength(response, body.size());
    if (!length) {
        throw InstallError::invalidResponse();
    }
    co_return std::pair<qint64, HttpResponse>(*length, std::move(response));
}

void VrelProgressDownload::clearDestination() {
    const QFileInfo info(m_destination);
    if (!QDir().mkpath(info.absolutePath())) {
        throw DownloadFailure(QStringLiteral("无法创建文件夹 %1").arg(info.absolutePath()));
    }
    QFile existing(m_destination);
    if ((info.exists() || info.isSymLink()) && !existing.remove()) {
        throw DownloadFailure(existing.errorString());
    }
}

void VrelProgressDownload::prepareDestination(qint64 totalLength) {
    clearDestination();
    QFile file(m_destination);
    if (!file.open(QIODevice::WriteOnly)) {
        throw InstallError::invalidResponse();
    }
    if (!file.resize(totalLength)) {
        const QString reason = file.errorString();
        file.close();
        throw DownloadFailure(reason);
    }
    file.close();
}

QCoro::Task<HttpResponse> VrelProgressDownload::downloadInParallel(QUrl url, qint64 totalLength,
                                                                   HttpResponse response, std::stop_token token) {
    throwIfCancelled(token);
    prepareDestination(totalLength);

    LaterDeleted<RangeTransfer> transfer(new RangeTransfer(
        {url, m_destination, totalLength, m_timeouts.range},
        [self = QPointer<VrelProgressDownload>(this), totalLength](qint64 written) {
            if (self) {
                self->publishProgress(clampedFraction(written, totalLength));
            }
        }));
    // Runs on whichever thread cancels; the transfer itself is only touched on its own.
    RangeTransfer *target = transfer.get();
    std::stop_callback onStop(token, [target] {
        QMetaObject::invokeMethod(target, [target] { target->cancel(); }, Qt::QueuedConnection);
    });
    throwIfCancelled(token);
    transfer->start();
    auto finished = qCoro(target, &RangeTransfer::finished);
    co_await finished;

    if (transfer->isCancelled() || token.stop_requested()) {
        throw TaskCancelled();
    }
    if (std::exception_ptr error = transfer->error()) {
        std::rethrow_exception(error);
    }
    co_return response;
}

void VrelProgressDownload::placeStreamedFile(const QString &temporaryPath) {
    clearDestination();
    QFile streamed(temporaryPath);
    if (!streamed.rename(m_destination)) {
        throw DownloadFailure(streamed.errorString());
    }
}

QCoro::Task<HttpResponse> VrelProgressDownload::downloadSingleStream(QUrl url, std::stop_token token) {
    throwIfCancelled(token);
    QTemporaryFile streamed(QDir::tempPath() + QStringLiteral("/Vrel-download-XXXXXX"));
    std::optional<QString> fileError;
    if (!streamed.open()) {
        fileError = streamed.errorString();
    }

    LaterDeleted<QNetworkAccessManager> network(new QNetworkAccessManager());
    QNetworkRequest request = VrelDownloadRequest::make(url);
    request.setTransferTimeout(static_cast<int>(m_timeouts.singleStream.count()));
    ReplyOwner reply(network->get(request));
    reply->setReadBufferSize(kReadBufferSize);

    QNetworkReply *source = reply.get();
    auto writeAvailable = [source, &streamed, &fileError] {
        while (source->bytesAvailable() > 0) {
            const QByteArray chunk = source->read(kReadBufferSize);
            if (chunk.isEmpty()) {
                return;
            }
            if (!fileError && streamed.write(chunk) != chunk.size()) {
                fileError = streamed.errorString();
            }
        }
    };
    const QMetaObject::Connection onData = QObject::connect(source, &QNetworkReply::readyRead, source, writeAvailable);
    const QMetaObject::Connection onProgress = QObject::connect(
        source, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 expected) {
            if (expected >= 1) {
                publishProgress(clampedFraction(received, expected));
            }
        });

    try {
        auto received = awaitReply(source, token);
        co_await received;
    } catch (...) {
        QObject::disconnect(onData);
        QObject::disconnect(onProgress);
        throw;
    }
    QObject::disconnect(onData);
    QObject::disconnect(onProgress);
    writeAvailable();

    http::throwIfTransportFailed(*source);
    const HttpResponse response = HttpResponse::from(*source);
    if (fileError) {
        throw DownloadFailure(*fileError);
    }
    if (!streamed.flush()) {
        throw DownloadFailure(streamed.errorString());
    }
    streamed.close();
    streamed.setAutoRemove(false);
    try {
        placeStreamedFile(streamed.fileName());
    } catch (...) {
        QFile::remove(streamed.fileName());
        throw;
    }
    if (!response.isHttp()) {
        throw InstallError::invalidResponse();
    }
    co_return response;
}

} // namespace quillon
