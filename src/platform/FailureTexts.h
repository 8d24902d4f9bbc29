#pragma once
// The Chinese words for failures whose cause the system reports in its own words.
//
// The system's wording (errno texts, network errors, AppleScript's messages) is written to
// the log; the user reads one of these texts instead, one per kind of cause.

#include <QString>

namespace quillon {

enum class FailureKind {
    // Files.
    noWritePermission,
    fileNameTooLong,
    folderOfThatName,
    diskFull,
    fileNotWritten,
    // The network.
    unusableAddress,
    timedOut,
    connectionRefused,
    hostNotFound,
    connectionLost,
    unsafeRedirect,
    secureConnectionFailed,
    networkError,
    // Administrator rights.
    administratorCancelled,
    administratorUnavailable,
    // Anything else.
    unknown,
};

/// The text the user reads for `kind`.
QString failureText(FailureKind kind);

/// The kind of a failed file operation, from the `errno` it left.
FailureKind fileFailureKind(int errorNumber);

} // namespace quillon
