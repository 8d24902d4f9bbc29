#pragma once
// The sheets of the main window. Each is built when its flag turns true; closing it
// (done(), reject() or Escape) clears the flag. A sheet holding a web view is made with the
// window type Qt::Sheet from the start, since SheetBinding would change it after the view exists.

class QDialog;
class QWidget;

namespace quillon {

class PluginManager;

QDialog *makeLocationGuideSheet(PluginManager &manager, QWidget *host);
QDialog *makeNetdiskDeliverySheet(PluginManager &manager, QWidget *host);
QDialog *makeWechatLoginSheet(PluginManager &manager, QWidget *host);

} // namespace quillon
