#pragma once
// Binds a sheet to a flag of the model: the sheet is shown while the flag is true,
// closing it (however it is closed) calls `setShown(false)` once, and the model clearing
// the flag closes it. A sheet that changes size stays centred on the window.

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace quillon {

class PluginManager;

class SheetBinding final : public QObject {
    Q_OBJECT
public:
    using Flag = std::function<bool()>;
    using SetFlag = std::function<void(bool)>;
    using MakeSheet = std::function<QDialog *(QWidget *host)>;

    SheetBinding(PluginManager &manager, QWidget *host, Flag isShown, SetFlag setShown, MakeSheet make);

    /// The sheet on screen, or null.
    QDialog *sheet() const { return m_sheet.data(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sync();
    /// Centres the sheet on the host's window, inside the screen.
    void centre(QDialog &sheet) const;

    QWidget *m_host;
    Flag m_isShown;
    SetFlag m_setShown;
    MakeSheet m_make;
    QPointer<QDialog> m_sheet;
};

} // namespace quillon
