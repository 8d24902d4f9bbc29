#pragma once
// One of the model's busy flags (an install running, an account sync, a repair), held
// for the length of one run. A run ends in many ways: it returns early, reports a failure,
// throws, or finds the model gone. Whatever ended it, the flag comes down when the guard
// goes; left up, it would keep its button disabled until the program restarts. It is never
// lowered on a model that is gone.
//
// Keep the guard a local of the run's coroutine body, not a parameter: locals go when the
// body ends, parameters only when the coroutine's frame is destroyed, which for an awaited
// run is after its caller has gone on.

#include "platform/Logging.h"
#include "platform/Tasks.h"

#include <exception>
#include <utility>

namespace quillon {

template <typename Model>
class BusyFlag final {
    Q_DISABLE_COPY_MOVE(BusyFlag)
public:
    using Setter = void (Model::*)(const bool &);

    /// Raises the flag. A starter that raised it already, to bar a second start at once,
    /// loses nothing: the value does not change, so nothing is published twice.
    BusyFlag(ModelGuard<Model> model, Setter setter) : m_model(std::move(model)), m_setter(setter) {
        if (!m_model) {
            return;
        }
        try {
            (m_model.get()->*m_setter)(true);
        } catch (...) {
            lower(); // the guard will not exist to do it
            throw;
        }
    }

    ~BusyFlag() { lower(); }

    /// Lowers the flag now, for a run whose end publishes its changes in a set order; the
    /// guard has nothing left to do after. A listener that throws meanwhile is logged: the
    /// flag is down already.
    void lower() noexcept {
        if (!std::exchange(m_raised, false) || !m_model) {
            return;
        }
        try {
            (m_model.get()->*m_setter)(false);
        } catch (const std::exception &error) {
            qCWarning(lcPlatform) << "a listener failed while a busy flag came down:" << error.what();
        } catch (...) {
            qCWarning(lcPlatform) << "a listener failed while a busy flag came down";
        }
    }

private:
    ModelGuard<Model> m_model;
    Setter m_setter;
    bool m_raised = true;
};

/// The guard is of the model (or the host) it holds; the setter may be declared by a base of it.
template <typename Model, typename Owner>
BusyFlag(ModelGuard<Model>, void (Owner::*)(const bool &)) -> BusyFlag<Model>;

} // namespace quillon
