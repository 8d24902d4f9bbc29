#pragma once
// The rows of the member library: one per product, with its name, category, install
// state and the actions that fit it (the buttons themselves: MemberProductButtons.h). The list model follows the application model one
// row at a time: a download's progress changes the row being installed and nothing else,
// so the selection and the scroll position stay where the user left them.

#include "records/InstalledPlugin.h"
#include "records/ReplyRecords.h"

#include <QAbstractListModel>
#include <QList>
#include <QMap>
#include <QStyledItemDelegate>

#include <optional>

namespace quillon {

class PluginManager;

/// What a row's button does.
enum class MemberProductAction {
    install,         ///< install or update the product (a cloud-drive product: claim it)
    claimSupplement, ///< the cloud-drive supplement of a "hybrid" product
    showPartnerCode, ///< show the partner product code claimed earlier
};

struct MemberProductButton {
    MemberProductAction action;
    QString label;
    bool enabled = true;

    friend bool operator==(const MemberProductButton &, const MemberProductButton &) = default;
};

class MemberProductListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        CategoryRole = Qt::UserRole + 1, ///< the product's category (text)
        StateRole,                       ///< installed, update available, not installed, or the run's progress
    };

    explicit MemberProductListModel(QObject *parent = nullptr);

    /// Brings the rows in line with the model: resets only when the list of products
    /// itself changed, otherwise signals each row whose content changed.
    void sync(const PluginManager &manager);

    const MemberProduct &product(int row) const { return m_rows.at(row).product; }
    const QList<MemberProductButton> &buttons(int row) const { return m_rows.at(row).buttons; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    enum class InstallState { notInstalled, installed, updateAvailable };

    struct Row {
        MemberProduct product;
        InstallState installState = InstallState::notInstalled;
        bool hasPartnerCode = false;
        QString stateText;
        QList<MemberProductButton> buttons;

        friend bool operator==(const Row &, const Row &) = default;
    };

    /// What the install states were last computed from; they are costly (files on disk,
    /// name matching), so they are recomputed only when one of these changes.
    struct Inputs {
        QList<MemberProduct> products;
        QList<InstalledPlugin> installedPlugins;
        QMap<QString, QString> partnerCodes;
        std::optional<QString> installingProductKey;
        bool working = false;

        friend bool operator==(const Inputs &, const Inputs &) = default;
    };

    static void present(Row &row, const PluginManager &manager);

    QList<Row> m_rows;
    std::optional<Inputs> m_inputs;
};

/// Paints a row: its name, and below it its category and state. The row's buttons are real
/// widgets (MemberProductButtons) laid over its right end; the text stops short of them.
class MemberProductDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    /// Where the buttons of a row drawn in `rowRect` stand, given the size they ask for.
    static QRect buttonsRect(const QRect &rowRect, QSize buttons);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace quillon
