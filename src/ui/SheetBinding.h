#pragma once
// Binds a sheet to a flag of the model: the sheet is shown while the flag is true,
// closing it (however it is closed) calls `setShown(false)` once, and the model clearing
// the flag closes it.

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

private:
    void sync();

    QWidget *m_host;
    Flag m_isShown;
    SetFlag m_setShown;
    MakeSheet m_make;
    QPointer<QDialog> m_sheet;
};

} // namespace quillon
