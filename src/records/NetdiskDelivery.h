#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>

namespace quillon {

/// A cloud-drive delivery shown to the user.
struct NetdiskDelivery final {
    QUuid id;
    QString productName;
    QUrl shareURL;
    QString accessCode;
    QString archivePassword;
    QString note;
    bool openedAutomatically = false;

    /// The whole delivery as plain text for the pasteboard: the link, then the extraction
    /// code, the archive password and the note when there are any, one per line.
    QString allClaimInformation() const;

    friend bool operator==(const NetdiskDelivery &, const NetdiskDelivery &) = default;
};

} // namespace quillon
