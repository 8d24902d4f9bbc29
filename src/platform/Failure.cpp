#include "platform/Failure.h"

#include "platform/Tasks.h"

namespace quillon {

QString failureDescription(const std::exception &error) {
    if (const auto *ours = dynamic_cast<const UserFacingError *>(&error)) {
        return ours->description();
    }
    if (dynamic_cast<const TaskCancelled *>(&error)) {
        return QStringLiteral("操作已取消");
    }
    return QStringLiteral("发生未知错误：") + QString::fromUtf8(error.what());
}

QString failureDescription(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return failureDescription(e);
    } catch (...) {
        return QStringLiteral("发生未知错误");
    }
}

} // namespace quillon
