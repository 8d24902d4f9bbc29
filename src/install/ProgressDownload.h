#pragma once
// The download engine: fetches one package to a destination file and reports a
// fraction done on the main thread while it runs.
//
// A file the server offers in byte ranges and that is at least 32 MiB long is fetched
// as 16 MiB ranges over up to eight connections, each chunk written at its offset of a
// file preallocated to its final length; everything else is one streamed download.
// Either way the bytes go into a hidden part file beside the destination, which
// replaces the destination only once every byte has arrived (see PartFile).

#include "install/HttpResponse.h"
#include "install/RangePlan.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

namespace quillon {

class VrelProgressDownload final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VrelProgressDownload)
public:
    /// The time-outs, each the longest a request may go without traffic.
    struct Timeouts {
        std::chrono::milliseconds probe{20'000};
        std::chrono::milliseconds singleStream{60'000};
        std::chrono::milliseconds range{90'000};
    };

    /// `progressHandler` is called on the main thread with a fraction within 0...1.
    VrelProgressDownload(QString destination, std::function<void(double)> progressHandler);
    ~VrelProgressDownload() override;

    const QString &destination() const { return m_destination; }
    void setTimeouts(Timeouts timeouts) { m_timeouts = timeouts; }

    /// Downloads `url` to the destination and returns the server's response: the probe's
    /// on the ranged path, the download's own otherwise (its status is not checked here;
    /// a 404 page lands at the destination like any body).
    ///
    /// Throws http::NetworkFailure when the connection fails or closes before the end of the
    /// body its framing announces (a chunked body without its closing chunk included),
    /// InstallError::invalidResponse
    /// when the answer is not the file announced (a range other than the one asked for, a
    /// body shorter or longer than its "Content-Length" or, without one, than the probe's),
    /// DownloadFailure when the file cannot be written, and TaskCancelled once `token` is
    /// cancelled, which aborts every transfer at once. After any failure the destination
    /// is as it was before the call and no part file remains.
    QCoro::Task<HttpResponse> download(QUrl url, std::stop_token token = {});

    /// The HEAD probe: the length and response when the server allows ranged downloads;
    /// throws InstallError::invalidResponse when it does not.
    QCoro::Task<std::pair<qint64, HttpResponse>> rangeDownloadInfo(QUrl url, std::stop_token token = {});

    QCoro::Task<HttpResponse> downloadInParallel(QUrl url, qint64 totalLength, HttpResponse response,
                                                 std::stop_token token = {});
    /// `expectedLength`: the file's length as the probe announced it, checked when the
    /// answer is a 2xx without a "Content-Length" of its own.
    QCoro::Task<HttpResponse> downloadSingleStream(QUrl url, std::stop_token token = {},
                                                   std::optional<qint64> expectedLength = std::nullopt);

private:
    struct Probe {
        HttpResponse response;
        std::optional<qint64> length; ///< announced by a 2xx HEAD reply
        bool ranged = false;          ///< and byte ranges are allowed
    };
    QCoro::Task<Probe> probe(QUrl url, std::stop_token token);
    /// The probe and a stream of known length share one manager, so the stream reuses the
    /// probe's connection (and its TCP and TLS handshakes), then closes it.
    QNetworkAccessManager *network();
    void publishProgress(double fraction);

    const QString m_destination;
    const std::function<void(double)> m_progressHandler;
    Timeouts m_timeouts;
    QNetworkAccessManager *m_network = nullptr;
};

} // namespace quillon
