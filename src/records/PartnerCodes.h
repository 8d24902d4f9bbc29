#pragma once
// The partner product codes handed out with partner deliveries.

#include <QMap>
#include <QString>

namespace quillon {

/// Product key -> partner product code.
using PartnerCodes = QMap<QString, QString>;

} // namespace quillon
