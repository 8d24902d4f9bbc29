#include "ui/SheetBinding.h"

#include "model/PluginManager.h"

#include <QDialog>
#include <QEvent>
#include <QScreen>

namespace quillon {

SheetBinding::SheetBinding(PluginManager &manager, QWidget *host, Flag isShown, SetFlag setShown, MakeSheet make)
    : QObject(host), m_host(host), m_isShown(std::move(isShown)), m_setShown(std::move(setShown)),
      m_make(std::move(make)) {
    connect(&manager, &PluginManager::changed, this, &SheetBinding::sync);
    sync();
}

void SheetBinding::sync() {
    const bool shown = m_isShown();
    if (shown && !m_sheet) {
        QDialog *sheet = m_make(m_host);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        // A sheet is best made as one (see Sheets.h): a new window type re-parents the dialog,
        // and Qt then counts a web view inside it (drawn into a texture) as the host window's
        // own, which from then on composites through GL and, on X11, no longer repaints what
        // other windows uncover. The type replaces the dialog's; or-ing it in would make a drawer.
        if (sheet->windowType() != Qt::Sheet) {
            sheet->setWindowFlags((sheet->windowFlags() & ~Qt::WindowType_Mask) | Qt::Sheet);
        }
        m_sheet = sheet;
        sheet->installEventFilter(this);
        connect(sheet, &QDialog::finished, this, [this, sheet] {
            if (m_sheet == sheet) {
                m_sheet = nullptr;
                m_setShown(false);
            }
        });
        sheet->open();
    } else if (!shown && m_sheet) {
        QDialog *sheet = m_sheet.data();
        m_sheet = nullptr;
        // done() rather than close(): the flag may turn false while the sheet handles a
        // close of its own (its window's close button, quitting), when a nested close()
        // would do nothing and the outer one would then be refused.
        sheet->done(QDialog::Rejected);
    }
}

bool SheetBinding::eventFilter(QObject *watched, QEvent *event) {
    // Qt centres a dialog when it is shown; one that grows afterwards (a page with more in
    // it) would grow down and to the right, away from the window and off a small screen.
    if (event->type() == QEvent::Resize && watched == m_sheet && m_sheet->isVisible()) {
        centre(*m_sheet);
    }
    return false;
}

void SheetBinding::centre(QDialog &sheet) const {
    QRect frame = sheet.frameGeometry();
    frame.moveCenter(m_host->window()->frameGeometry().center());
    if (const QScreen *screen = m_host->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveRight(std::min(frame.right(), available.right()));
        frame.moveBottom(std::min(frame.bottom(), available.bottom()));
        frame.moveLeft(std::max(frame.left(), available.left()));
        frame.moveTop(std::max(frame.top(), available.top()));
    }
    sheet.move(frame.topLeft());
}

} // namespace quillon
