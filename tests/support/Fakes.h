#pragma once
// Scriptable stand-ins for the desktop, recording what the program asked of it.

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

#include <QList>
#include <QMap>

#include <functional>

namespace quillon::test {

class FakeWorkspace final : public Workspace {
public:
    bool openURL(const QUrl &url) override {
        openedURLs.append(url);
        return openURLSucceeds;
    }
    bool openFile(const QString &path) override {
        openedFiles.append(path);
        return openFileScript ? openFileScript(path) : openFileSucceeds;
    }
    void revealInFileManager(const QStringList &paths) override { revealed.append(paths); }
    int runningApplicationCount(const QString &bundleIdentifier) override {
        ++runningQueries;
        if (runningCountScript) {
            return runningCountScript(bundleIdentifier, runningQueries);
        }
        return running.value(bundleIdentifier, 0);
    }
    void terminateApplications(const QString &bundleIdentifier) override { terminated.append(bundleIdentifier); }

    bool openURLSucceeds = true;
    bool openFileSucceeds = true;
    /// When set, opens files instead (and answers in place of `openFileSucceeds`).
    std::function<bool(const QString &)> openFileScript;
    QMap<QString, int> running; ///< bundle identifier -> running count
    /// When set, answers running-count queries instead of `running` (query number from 1).
    std::function<int(const QString &, int)> runningCountScript;

    QList<QUrl> openedURLs;
    QStringList openedFiles;
    QList<QStringList> revealed;
    QStringList terminated;
    int runningQueries = 0;
};

class FakePasteboard final : public Pasteboard {
public:
    void setString(const QString &text) override {
        contents = text;
        ++writes;
    }
    QString string() const override { return contents; }

    QString contents;
    int writes = 0;
};

class FakeAlerts final : public Alerts {
public:
    int runModal(const AlertRequest &request) override {
        shown.append(request);
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }

    QList<int> answers; ///< button indexes to answer with, in order; 0 once they run out
    QList<AlertRequest> shown;
};

} // namespace quillon::test
