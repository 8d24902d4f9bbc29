#pragma once
// What a captured failure of a download was.

#include "records/InstallError.h"

#include <exception>
#include <optional>

namespace quillon::test {

/// The failure as an `E`; nullopt for no failure or one of another type.
template <typename E>
std::optional<E> failureAs(std::exception_ptr error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const E &e) {
        return e;
    } catch (...) {
    }
    return std::nullopt;
}

inline bool isInvalidResponse(std::exception_ptr error) {
    const auto failure = failureAs<InstallError>(error);
    return failure && failure->kind() == InstallError::Kind::invalidResponse;
}

} // namespace quillon::test
