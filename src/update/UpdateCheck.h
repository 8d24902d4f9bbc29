#pragma once
// The check for a newer version of the program: the update manifest fetched and compared
// with this build's version. Its outcome is published by the model (UpdateHost); the model
// owns one UpdateCheck and hands the check here.

#include "update/UpdateHost.h"

#include <QtGlobal>

namespace quillon {

class UpdateCheck final {
    Q_DISABLE_COPY_MOVE(UpdateCheck)
public:
    explicit UpdateCheck(UpdateHost &host) : m_host(host) {}

    /// Fetches the update manifest unless a check or an update install is running.
    void checkForManagerUpdate(bool silent);

private:
    UpdateHost &m_host;
};

} // namespace quillon
