#include "ui/MemberProductList.h"

#include "model/PluginManager.h"
#include "platform/desktop/PlainTextWidgets.h"
#include "platform/DisplayText.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QPainter>

#include <cmath>

namespace quillon {
namespace {

constexpr int kPadding = 8;

bool sameProductKeys(const QList<MemberProduct> &a, const QList<MemberProduct> &b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).productKey != b.at(i).productKey) {
            return false;
        }
    }
    return true;
}

bool isClaimDelivery(const MemberProduct &product) {
    const QString type = product.deliveryType.value_or(QString());
    return type == QLatin1String("baidu_pan") || type == QLatin1String("partner_pool");
}

} // namespace

MemberProductListModel::MemberProductListModel(QObject *parent) : QAbstractListModel(parent) {}

int MemberProductListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant MemberProductListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return {};
    }
    const Row &row = m_rows.at(index.row());
    switch (role) {
    // The service's texts, as the words they are.
    case Qt::DisplayRole:
        return displayLine(row.product.productName);
    case Qt::ToolTipRole:
        return plainToolTip(displayLine(row.product.description));
    case CategoryRole:
        return displayLine(row.product.category);
    case StateRole:
        return row.stateText;
    default:
        return {};
    }
}

void MemberProductListModel::sync(const PluginManager &manager) {
    const QList<MemberProduct> &products = manager.memberProducts();
    Inputs inputs{products, manager.installedPlugins(), manager.claimedPartnerActivationCodes(),
                  manager.installingProductKey(), manager.isWorking()};
    const bool inputsChanged = !m_inputs || !(*m_inputs == inputs);

    if (m_inputs && !sameProductKeys(m_inputs->products, products)) {
        beginResetModel();
        m_rows.clear();
        m_inputs.reset();
        endResetModel();
    }
    if (m_rows.isEmpty() && !products.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, int(products.size()) - 1);
        for (const MemberProduct &product : products) {
            Row row;
            row.product = product;
            m_rows.append(std::move(row));
        }
        endInsertRows();
    }

    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row updated = m_rows.at(i);
        if (inputsChanged) {
            const MemberProduct &product = products.at(i);
            updated.product = product;
            updated.installState = !manager.isProductInstalled(product)       ? InstallState::notInstalled
                                   : manager.isProductUpdateAvailable(product) ? InstallState::updateAvailable
                                                                               : InstallState::installed;
            updated.hasPartnerCode = manager.hasClaimedPartnerActivationCode(product);
        }
        present(updated, manager);
        if (!(updated == m_rows.at(i))) {
            m_rows[i] = std::move(updated);
            const QModelIndex changed = index(int(i));
            Q_EMIT dataChanged(changed, changed);
        }
    }
    m_inputs = std::move(inputs);
}

void MemberProductListModel::present(Row &row, const PluginManager &manager) {
    const MemberProduct &product = row.product;
    const std::optional<QString> &running = manager.installingProductKey();
    if (running == product.productKey) {
        row.stateText = manager.singleInstallShowsPercent()
                            ? QStringLiteral("正在下载 %1%").arg(int(std::floor(manager.singleInstallProgress() * 100)))
                            : QStringLiteral("正在处理…");
    } else if (running == product.productKey + QStringLiteral("__supplement__")) {
        row.stateText = QStringLiteral("正在领取…");
    } else {
        switch (row.installState) {
        case InstallState::installed:
            row.stateText = QStringLiteral("已安装");
            break;
        case InstallState::updateAvailable:
            row.stateText = QStringLiteral("有更新");
            break;
        case InstallState::notInstalled:
            row.stateText = QStringLiteral("未安装");
            break;
        }
    }

    // Nothing that starts another run while one is going; the stored code can always be shown.
    const bool idle = !manager.isWorking();
    row.buttons.clear();
    if (isClaimDelivery(product)) {
        const QString label = displayLine(product.deliveryActionLabel.value_or(QString())).trimmed();
        row.buttons.append({MemberProductAction::install, label.isEmpty() ? QStringLiteral("领取") : label, idle});
    } else {
        const QString label = row.installState == InstallState::updateAvailable ? QStringLiteral("更新")
                              : row.installState == InstallState::installed     ? QStringLiteral("重新安装")
                                                                                : QStringLiteral("安装");
        row.buttons.append({MemberProductAction::install, label, idle});
        if (product.deliveryType == QLatin1String("hybrid")) {
            row.buttons.append({MemberProductAction::claimSupplement, QStringLiteral("领取网盘内容"), idle});
        }
    }
    if (row.hasPartnerCode) {
        row.buttons.append({MemberProductAction::showPartnerCode, QStringLiteral("查看激活码"), true});
    }
}

// ---- Delegate ----

QRect MemberProductDelegate::buttonsRect(const QRect &rowRect, QSize buttons) {
    return QRect(rowRect.right() - kPadding - buttons.width() + 1, rowRect.top() + (rowRect.height() - buttons.height()) / 2,
                 buttons.width(), buttons.height());
}

void MemberProductDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    int textRight = option.rect.right() - kPadding;
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    if (const QWidget *buttons = view ? view->indexWidget(index) : nullptr) {
        textRight = buttonsRect(option.rect, buttons->sizeHint()).left() - kPadding;
    }
    const QRect text(option.rect.left() + kPadding, option.rect.top() + kPadding,
                     textRight - option.rect.left() - kPadding, option.rect.height() - 2 * kPadding);

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    const QString name = QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width());
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop, name);
    painter->setFont(option.font);
    const QString detail = index.data(MemberProductListModel::CategoryRole).toString() + QStringLiteral(" · ") +
                           index.data(MemberProductListModel::StateRole).toString();
    painter->drawText(text, Qt::AlignLeft | Qt::AlignBottom,
                      option.fontMetrics.elidedText(detail, Qt::ElideRight, text.width()));
    painter->restore();
}

QSize MemberProductDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const {
    return QSize(option.rect.width(), 2 * option.fontMetrics.height() + 3 * kPadding);
}

void MemberProductDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                 const QModelIndex &) const {
    editor->setGeometry(buttonsRect(option.rect, editor->sizeHint()));
}

} // namespace quillon
