#include "ui/MemberProductButtons.h"

#include "ui/ActionButton.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListView>
#include <QScrollBar>

#include <algorithm>

namespace quillon {

MemberProductButtons::MemberProductButtons(const QPersistentModelIndex &row, QWidget *parent)
    : QWidget(parent), m_row(row) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
}

void MemberProductButtons::setButtons(const QList<MemberProductButton> &buttons) {
    while (m_buttons.size() < buttons.size()) {
        const qsizetype position = m_buttons.size();
        auto *button = new ActionButton(QString(), this);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, position] {
            if (position < m_actions.size()) {
                Q_EMIT triggered(m_actions.at(position));
            }
        });
        layout()->addWidget(button);
        m_buttons.append(button);
    }
    m_actions.clear();
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        ActionButton *button = m_buttons.at(i);
        const bool used = i < buttons.size();
        if (used) {
            // A label from the service is shown as it stands: "&" marks no shortcut key here.
            QString label = buttons.at(i).label;
            button->setText(label.replace(QLatin1Char('&'), QStringLiteral("&&")));
            button->setEnabled(buttons.at(i).enabled);
            m_actions.append(buttons.at(i).action);
        }
        button->setVisible(used);
    }
    layout()->invalidate();
}

QList<QPushButton *> MemberProductButtons::buttons() const {
    QList<QPushButton *> shown;
    for (qsizetype i = 0; i < m_actions.size(); ++i) {
        shown.append(m_buttons.at(i));
    }
    return shown;
}

bool MemberProductButtons::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn) {
        Q_EMIT focused();
    }
    return QWidget::eventFilter(watched, event);
}

VisibleRowButtons::VisibleRowButtons(QListView *view, MemberProductListModel *rows)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_rows(rows) {
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &VisibleRowButtons::update);
    view->installEventFilter(this);
    m_viewport->installEventFilter(this);
    connect(rows, &QAbstractItemModel::modelReset, this, &VisibleRowButtons::scheduleUpdate);
    connect(rows, &QAbstractItemModel::layoutChanged, this, &VisibleRowButtons::scheduleUpdate);
    connect(rows, &QAbstractItemModel::rowsInserted, this, &VisibleRowButtons::scheduleUpdate);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &VisibleRowButtons::scheduleUpdate);
    connect(rows, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) { refreshRows(first.row(), last.row()); });
}

void VisibleRowButtons::scheduleUpdate() {
    if (m_updateQueued) {
        return;
    }
    m_updateQueued = true;
    QMetaObject::invokeMethod(this, &VisibleRowButtons::update, Qt::QueuedConnection);
}

MemberProductButtons *VisibleRowButtons::buttonsOf(int row) const {
    for (const QPointer<MemberProductButtons> &buttons : m_shown) {
        if (buttons && buttons->row().isValid() && buttons->row().row() == row) {
            return buttons;
        }
    }
    return nullptr;
}

int VisibleRowButtons::count() const {
    return int(std::count_if(m_shown.begin(), m_shown.end(), [](const QPointer<MemberProductButtons> &b) { return !b.isNull(); }));
}

void VisibleRowButtons::update() {
    m_updateQueued = false;
    const int rowCount = m_rows->rowCount();
    // The rows on screen (the list lays itself out first if it must), and one beyond each end.
    int first = 0;
    int last = -1;
    if (rowCount > 0 && m_view->isVisible()) {
        const int x = m_view->viewport()->width() / 2;
        const QModelIndex top = m_view->indexAt(QPoint(x, 0));
        const QModelIndex bottom = m_view->indexAt(QPoint(x, m_view->viewport()->height() - 1));
        first = std::max((top.isValid() ? top.row() : 0) - 1, 0);
        last = std::min((bottom.isValid() ? bottom.row() : rowCount - 1) + 1, rowCount - 1);
    }
    // The row whose button has the focus keeps its buttons wherever it is.
    const QWidget *focus = QApplication::focusWidget();
    QList<QPointer<MemberProductButtons>> kept;
    for (const QPointer<MemberProductButtons> &buttons : std::as_const(m_shown)) {
        if (!buttons) {
            continue;
        }
        const int row = buttons->row().isValid() ? buttons->row().row() : -1;
        if (row >= first && row <= last) {
            kept.append(buttons);
        } else if (row >= 0 && buttons->isAncestorOf(focus)) {
            kept.append(buttons);
        } else if (row >= 0) {
            m_view->setIndexWidget(m_rows->index(row), nullptr); // the list deletes them
        } else {
            buttons->deleteLater();
        }
    }
    m_shown = kept;
    for (int row = first; row <= last; ++row) {
        if (!buttonsOf(row)) {
            make(row);
        }
    }

    // After the list, the buttons of its rows in row order.
    std::sort(m_shown.begin(), m_shown.end(), [](const auto &a, const auto &b) { return a->row().row() < b->row().row(); });
    QWidget *previous = m_view;
    for (const QPointer<MemberProductButtons> &buttons : std::as_const(m_shown)) {
        for (QPushButton *button : buttons->buttons()) {
            QWidget::setTabOrder(previous, button);
            previous = button;
        }
    }
}

MemberProductButtons *VisibleRowButtons::make(int row) {
    const QModelIndex index = m_rows->index(row);
    auto *buttons = new MemberProductButtons(QPersistentModelIndex(index));
    buttons->setButtons(m_rows->buttons(row));
    connect(buttons, &MemberProductButtons::triggered, this, [this, buttons](MemberProductAction action) {
        if (buttons->row().isValid()) {
            Q_EMIT actionTriggered(buttons->row().row(), action);
        }
    });
    // The row of the focused button is the current one, and scrolls into view.
    connect(buttons, &MemberProductButtons::focused, this, [this, buttons] {
        if (buttons->row().isValid() && m_view->currentIndex() != buttons->row()) {
            m_view->setCurrentIndex(buttons->row());
        }
        m_view->scrollTo(buttons->row());
    });
    m_view->setIndexWidget(index, buttons);
    m_shown.append(buttons);
    return buttons;
}

void VisibleRowButtons::refreshRows(int first, int last) {
    bool grew = false;
    for (int row = first; row <= last; ++row) {
        if (MemberProductButtons *buttons = buttonsOf(row)) {
            const qsizetype before = buttons->buttons().size();
            buttons->setButtons(m_rows->buttons(row));
            grew = grew || buttons->buttons().size() > before;
            buttons->setGeometry(MemberProductDelegate::buttonsRect(m_view->visualRect(m_rows->index(row)), buttons->sizeHint()));
        }
    }
    if (grew) {
        scheduleUpdate(); // the new buttons' place in the tab order
    }
}

bool VisibleRowButtons::eventFilter(QObject *watched, QEvent *event) {
    // The event's type first: while the list is destroyed its events still come here, and the
    // list is no list any more.
    const QEvent::Type type = event->type();
    if ((type == QEvent::Resize || type == QEvent::Show) && watched == m_viewport) {
        scheduleUpdate();
    } else if (type == QEvent::KeyPress && watched == m_view) {
        // Tab in the list goes to the current row's buttons rather than the first row's on screen.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && m_view->currentIndex().isValid()) {
            update();
            if (MemberProductButtons *buttons = buttonsOf(m_view->currentIndex().row())) {
                for (QPushButton *button : buttons->buttons()) {
                    if (button->isEnabled()) {
                        button->setFocus(Qt::TabFocusReason);
                        return true;
                    }
                }
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillon
