#pragma once
// The main window's content: the account, the member library and the installed
// plug-ins, the status lines, and every sheet and alert of the window, each bound
// to its flag on the model.

#include "ui/ModelView.h"

class QLabel;
class QTabWidget;

namespace quillon {

class SheetBinding;

class ContentView final : public ModelView {
    Q_OBJECT
public:
    explicit ContentView(PluginManager &manager, QWidget *parent = nullptr);

    SheetBinding &installSuccessAlert() const { return *m_installSuccess; }
    SheetBinding &locationGuideSheet() const { return *m_locationGuide; }
    SheetBinding &netdiskDeliverySheet() const { return *m_netdiskDelivery; }
    SheetBinding &wechatLoginSheet() const { return *m_wechatLogin; }

    /// The text of the install success alert for the model's current state.
    static QString installSuccessMessage(const PluginManager &manager);

protected:
    void refresh() override;

private:
    QTabWidget *m_sections;
    QLabel *m_status;
    SheetBinding *m_installSuccess;
    SheetBinding *m_locationGuide;
    SheetBinding *m_netdiskDelivery;
    SheetBinding *m_wechatLogin;
};

} // namespace quillon
