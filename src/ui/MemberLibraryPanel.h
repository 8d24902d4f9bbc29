#pragma once
// The member library: title and subtitle of the chosen membership, the library's
// status line, the progress card of a running install, its products with their install
// state and actions, and a refresh.

#include "ui/ModelView.h"

class QLabel;
class QListView;
class QPushButton;

namespace quillon {

enum class MemberProductAction;
class MemberProductDelegate;
class MemberProductButtons;
class MemberProductListModel;
class SingleInstallProgressCard;
class VisibleRowButtons;

class MemberLibraryPanel final : public ModelView {
    Q_OBJECT
public:
    explicit MemberLibraryPanel(PluginManager &manager, QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    QLabel *subtitle() const { return m_subtitle; }
    QLabel *message() const { return m_message; }
    QListView *products() const { return m_products; }
    MemberProductListModel *productRows() const { return m_rows; }
    MemberProductDelegate *productDelegate() const { return m_delegate; }
    /// The buttons of `row` when the row is on screen (or next to it), else null.
    MemberProductButtons *rowButtons(int row) const;
    /// The rows' buttons as they are kept on the rows on screen.
    VisibleRowButtons *visibleRowButtons() const { return m_rowButtons; }
    SingleInstallProgressCard *progressCard() const { return m_progress; }
    QPushButton *refreshButton() const { return m_refresh; }

protected:
    void refresh() override;

private:
    void trigger(int row, MemberProductAction action);

    QLabel *m_title;
    QLabel *m_subtitle;
    QLabel *m_message;
    SingleInstallProgressCard *m_progress;
    QListView *m_products;
    MemberProductListModel *m_rows;
    MemberProductDelegate *m_delegate;
    VisibleRowButtons *m_rowButtons;
    QPushButton *m_refresh;
};

} // namespace quillon
