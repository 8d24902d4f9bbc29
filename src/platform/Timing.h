#pragma once
// Every fixed interval and time-out of the program in one place. The defaults are the
// product's values; tests pass shorter ones so that nothing waits real seconds.

#include <algorithm>
#include <chrono>

namespace quillon {

struct Timing final {
    using ms = std::chrono::milliseconds;

    ms loginPollInterval{2000};           ///< QR sign-in status poll
    ms accountRetryDelay{700};            ///< between failed account sync attempts
    ms batchPauseCheck{200};              ///< batch install pause check; install queue sheet wait
    ms singleInstallCardDismissal{3000};  ///< the progress card hides itself after a completed install
    ms packageCleanupCheck{5000};         ///< Installer-app presence check before deleting a package
    ms serviceRequestTimeout{60000};      ///< every account-service request and every download
    ms downloadProbeTimeout{20000};       ///< HEAD probe before a download
    ms motionRuntimeQuitPause{400};       ///< Motion runtimes asked to quit, before they are registered again

    /// The product's values.
    static Timing standard() { return Timing{}; }

    /// Every interval divided by `factor` (at least 1 ms), for tests.
    static Timing scaledDown(int factor) {
        auto scale = [factor](ms value) { return std::max(ms(1), ms(value.count() / factor)); };
        Timing t;
        t.loginPollInterval = scale(t.loginPollInterval);
        t.accountRetryDelay = scale(t.accountRetryDelay);
        t.batchPauseCheck = scale(t.batchPauseCheck);
        t.singleInstallCardDismissal = scale(t.singleInstallCardDismissal);
        t.packageCleanupCheck = scale(t.packageCleanupCheck);
        t.serviceRequestTimeout = scale(t.serviceRequestTimeout);
        t.downloadProbeTimeout = scale(t.downloadProbeTimeout);
        t.motionRuntimeQuitPause = scale(t.motionRuntimeQuitPause);
        return t;
    }
};

} // namespace quillon
