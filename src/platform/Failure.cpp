#include "platform/Failure.h"

#include "platform/FailureTexts.h"
#include "platform/Logging.h"
#include "platform/Tasks.h"

namespace quillon {

QString failureDescription(const std::exception &error) {
    if (const auto *ours = dynamic_cast<const UserFacingError *>(&error)) {
        return ours->description();
    }
    if (dynamic_cast<const TaskCancelled *>(&error)) {
        return QStringLiteral("操作已取消");
    }
    qCWarning(lcPlatform) << "an unexpected failure:" << error.what();
    return failureText(FailureKind::unknown);
}

QString failureDescription(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return failureDescription(e);
    } catch (...) {
        qCWarning(lcPlatform) << "an unexpected failure that is no exception type of ours";
        return failureText(FailureKind::unknown);
    }
}

QString failureDetail(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("an unknown exception");
    }
}

} // namespace quillon
