#pragma once
// The member library: the products of the chosen membership.

#include "ui/ModelView.h"

class QLabel;
class QListWidget;

namespace quillon {

class MemberLibraryPanel final : public ModelView {
    Q_OBJECT
public:
    explicit MemberLibraryPanel(PluginManager &manager, QWidget *parent = nullptr);

protected:
    void refresh() override;

private:
    QLabel *m_message;
    QListWidget *m_products;
};

} // namespace quillon
