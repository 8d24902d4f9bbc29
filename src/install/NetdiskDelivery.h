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

    friend bool operator==(const NetdiskDelivery &, const NetdiskDelivery &) = default;
};

} // namespace quillon
