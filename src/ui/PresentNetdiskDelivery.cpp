#include "ui/Sheets.h"

#include "install/views/NetdiskDeliverySheet.h"
#include "model/PluginManager.h"

#include <QDialog>
#include <QPointer>

#include <memory>

namespace quillon {

QDialog *makeNetdiskDeliverySheet(PluginManager &manager, QWidget *host) {
    if (!manager.netdiskDelivery()) {
        // Nothing to show: an empty sheet, closed with Escape like any other.
        auto *empty = new QDialog(host);
        empty->setObjectName(QStringLiteral("EmptyNetdiskDeliverySheet"));
        return empty;
    }
    PluginManager *model = &manager;
    auto shown = std::make_shared<QPointer<NetdiskDeliverySheet>>();
    // Closing the sheet is what clears the model's flag (see SheetBinding).
    auto dismiss = [shown] {
        if (*shown) {
            (*shown)->reject();
        }
    };
    auto *sheet = new NetdiskDeliverySheet(*manager.netdiskDelivery(), manager.environment().pasteboard,
                                           manager.environment().workspace, dismiss, host);
    *shown = sheet;
    // A new delivery while the sheet is up replaces the whole sheet's content.
    QObject::connect(model, &PluginManager::changed, sheet, [model, sheet] {
        const std::optional<NetdiskDelivery> &delivery = model->netdiskDelivery();
        if (delivery && delivery->id != sheet->delivery().id) {
            sheet->setDelivery(*delivery);
        }
    });
    return sheet;
}

} // namespace quillon
