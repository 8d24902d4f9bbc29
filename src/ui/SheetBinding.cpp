#include "ui/SheetBinding.h"

#include "core/PluginManager.h"

#include <QDialog>

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
        sheet->setWindowFlag(Qt::Sheet);
        m_sheet = sheet;
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

} // namespace quillon
