#pragma once
// The stand-in Installer's one window: the package's name, an install button, a cancel
// button that becomes a close button, and the outcome of the install.

#include <QWidget>

#include <functional>

class QLabel;
class QProcess;
class QPushButton;

class InstallerWindow final : public QWidget {
public:
    /// `package` is installed by running `installer` on it (the sandbox root travels in the environment).
    InstallerWindow(QString package, QString installer);

    /// Starts the install, as the install button does; does nothing unless the window is ready.
    void install();
    /// True once the package was installed.
    bool succeeded() const { return m_state == State::Installed; }
    /// The text of the outcome (or of the current step).
    QString statusText() const;

    /// Called once when an install started by `install` has ended, however it ended.
    std::function<void()> onFinished;

protected:
    /// Refuses to close while the installer runs: a half-done install must not lose its window.
    void closeEvent(QCloseEvent *event) override;

private:
    enum class State { Ready, Installing, Installed, Failed };

    void finish(bool succeeded, const QString &text);
    QString missingPackageText() const;

    QString m_package;
    QString m_installer;
    State m_state = State::Ready;
    QLabel *m_status;
    QPushButton *m_install;
    QPushButton *m_close;
    QProcess *m_process = nullptr;
};
