#include "platform/desktop/MacRunningApplications.h"

#import <AppKit/AppKit.h>

namespace quillon::mac {

// Every call drains a pool of its own: pool threads have none.

int runningApplicationCount(const QString &bundleIdentifier) {
    @autoreleasepool {
        int count = 0;
        for (NSRunningApplication *application in
             [NSRunningApplication runningApplicationsWithBundleIdentifier:bundleIdentifier.toNSString()]) {
            if (!application.terminated) {
                ++count;
            }
        }
        return count;
    }
}

void terminateApplications(const QString &bundleIdentifier) {
    @autoreleasepool {
        for (NSRunningApplication *application in
             [NSRunningApplication runningApplicationsWithBundleIdentifier:bundleIdentifier.toNSString()]) {
            [application terminate];
        }
    }
}

} // namespace quillon::mac
