#pragma once
// A listener of the model that fails once: at the first change after which `when` holds,
// it throws from inside the code that published the change, as a view whose update ran out
// of memory would. The runs catch what the service, the disk and the tools do to them, so
// this is how a test ends a run by an exception at a point of its choosing.

#include "model/PluginManager.h"

#include <functional>
#include <memory>
#include <stdexcept>

namespace quillon::test {

/// Returns whether the listener has failed yet.
inline std::shared_ptr<const bool> failOnceWhen(PluginManager &model, std::function<bool()> when) {
    auto failed = std::make_shared<bool>(false);
    QObject::connect(&model, &PluginManager::changed, &model, [failed, when = std::move(when)] {
        if (!*failed && when()) {
            *failed = true;
            throw std::runtime_error("a listener of the model failed");
        }
    });
    return failed;
}

} // namespace quillon::test
