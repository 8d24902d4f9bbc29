#pragma once
// The sheet of a cloud-drive delivery: the share link to open again, and each piece of
// the delivery (link, extraction code, archive password, everything) to copy. It only
// shows what the service returned once; it never asks the service again.

#include "records/NetdiskDelivery.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QVBoxLayout;

namespace quillon {

class Pasteboard;
class Workspace;

class NetdiskDeliverySheet final : public QDialog {
    Q_OBJECT
public:
    /// `dismiss` closes the sheet (the presenter clears its flag).
    NetdiskDeliverySheet(const NetdiskDelivery &delivery, std::shared_ptr<Pasteboard> pasteboard,
                         std::shared_ptr<Workspace> workspace, std::function<void()> dismiss,
                         QWidget *parent = nullptr);

    const NetdiskDelivery &delivery() const { return m_delivery; }
    /// Shows another delivery as a fresh sheet (the confirmation starts empty again).
    void setDelivery(const NetdiskDelivery &delivery);

    /// Puts `text` on the pasteboard and confirms with `label`.
    void copy(const QString &text, const QString &label);
    /// The confirmation of the last copy; empty before the first.
    const QString &copiedItem() const { return m_copiedItem; }

private:
    QWidget *buildBody();
    QWidget *buildLinkBox(QWidget *parent);
    QWidget *buildCopyBox(const QString &title, const QString &value, const QFont &font, const QString &button,
                          const QString &confirmation, const QString &name, QWidget *parent);
    void openShareLink();

    NetdiskDelivery m_delivery;
    NetdiskDelivery m_shown; ///< what of it is shown and copied
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<Workspace> m_workspace;
    std::function<void()> m_dismiss;
    QString m_copiedItem;
    QVBoxLayout *m_layout = nullptr;
    QWidget *m_body = nullptr;
    QLabel *m_confirmation = nullptr;
};

} // namespace quillon
