#pragma once
// The sheets of the main window. Each is built when its flag turns true; closing it
// (done(), reject() or Escape) clears the flag.

#include <QString>

class QDialog;
class QWidget;

namespace quillon {

class PluginManager;

QDialog *makeLocationGuideSheet(PluginManager &manager, QWidget *host);
QDialog *makeNetdiskDeliverySheet(PluginManager &manager, QWidget *host);
QDialog *makeWechatLoginSheet(PluginManager &manager, QWidget *host);

/// A sheet with a title and a close button, for content that is not there yet.
QDialog *makePlaceholderSheet(const QString &title, QWidget *host);

} // namespace quillon
