#include "ui/Sheets.h"

#include "inventory/views/InstallLocationGuide.h"
#include "model/PluginManager.h"

#include <QDialog>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

namespace quillon {

QDialog *makeLocationGuideSheet(PluginManager &manager, QWidget *host) {
    auto *sheet = new QDialog(host);
    // Closing the sheet is what clears the model's flag (see SheetBinding).
    auto close = [shown = QPointer<QDialog>(sheet)] {
        if (shown) {
            shown->reject();
        }
    };
    auto *guide = new InstallLocationGuide(manager.locationSummary(), std::nullopt, close, sheet);
    // The location page is taller than a small screen: the guide fits the screen with a
    // frame like the window's around it.
    if (const QScreen *screen = host->screen()) {
        const QWidget *window = host->window();
        const int frame = window->frameGeometry().height() - window->geometry().height();
        guide->fitHeight(screen->availableGeometry().height() - frame);
    }

    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    // The sheet takes the guide's size, which changes with its page.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(guide);
    // The guide shows the model's summary as it is now, also when it is republished while open.
    QObject::connect(&manager, &PluginManager::changed, guide,
                     [model = &manager, guide] { guide->setSummary(model->locationSummary()); });
    sheet->setPalette(guide->palette());
    sheet->setWindowTitle(guide->windowTitle());
    QObject::connect(guide, &QWidget::windowTitleChanged, sheet, &QWidget::setWindowTitle);
    return sheet;
}

} // namespace quillon
