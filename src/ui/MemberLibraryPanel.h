#pragma once
// The member library: title and subtitle of the chosen membership, the library's
// status line, its products and a refresh.

#include "ui/ModelView.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quillon {

class MemberLibraryPanel final : public ModelView {
    Q_OBJECT
public:
    explicit MemberLibraryPanel(PluginManager &manager, QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    QLabel *subtitle() const { return m_subtitle; }
    QLabel *message() const { return m_message; }
    QListWidget *products() const { return m_products; }
    QPushButton *refreshButton() const { return m_refresh; }

protected:
    void refresh() override;

private:
    QLabel *m_title;
    QLabel *m_subtitle;
    QLabel *m_message;
    QListWidget *m_products;
    QPushButton *m_refresh;
};

} // namespace quillon
