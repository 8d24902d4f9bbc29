#pragma once
// What every subsystem's host interface gives, whichever subsystem it serves: the model's
// environment, the busy flag that every user action which talks to the service or installs
// raises, and the object whose destruction ends every task a subsystem started.

#include "records/ModelEnvironment.h"

#include <stop_token>

class QObject;

namespace quillon {

class ModelPart {
public:
    virtual const bool &isWorking() const = 0;
    virtual void setIsWorking(const bool &value) = 0;

    virtual const ModelEnvironment &environment() const = 0;
    /// Cancelled when the model goes.
    virtual std::stop_token lifetime() const = 0;
    /// The object whose destruction ends every task that holds a host weakly (ModelGuard).
    virtual QObject *lifetimeObject() = 0;

protected:
    ~ModelPart() = default;
};

} // namespace quillon
