#include "ui/InstalledPluginsPanel.h"

#include "model/PluginManager.h"
#include "platform/desktop/PlainTextWidgets.h"
#include "platform/DisplayText.h"
#include "ui/ActionButton.h"
#include "ui/SheetBinding.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace quillon {

namespace {

/// A window-modal question with a destructive "卸载" and a "取消"; `confirmed` runs on "卸载".
QMessageBox *uninstallQuestion(QWidget *host, const QString &text, std::function<void()> confirmed) {
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("卸载插件"), text, QMessageBox::NoButton, host);
    box->setInformativeText(QStringLiteral("插件文件夹将被删除，需要管理员密码。"));
    keepPlainText(*box); // the question names a folder read from disk
    QAbstractButton *remove = box->addButton(QStringLiteral("卸载"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
    QObject::connect(box, &QMessageBox::buttonClicked, box, [remove, confirmed = std::move(confirmed)](QAbstractButton *b) {
        if (b == remove) {
            confirmed();
        }
    });
    return box;
}

} // namespace

InstalledPluginsPanel::InstalledPluginsPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_plugins(new QListWidget(this)),
      m_rescan(new ActionButton(QStringLiteral("刷新"), this)),
      m_location(new ActionButton(QStringLiteral("查看位置"), this)),
      m_allLocations(new ActionButton(QStringLiteral("查看全部位置"), this)),
      m_uninstall(new ActionButton(QStringLiteral("卸载"), this)),
      m_repair(new ActionButton(QStringLiteral("修复 Motion 组件"), this)), m_repairMessage(new QLabel(this)),
      m_repairProgress(new QProgressBar(this)) {
    m_plugins->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_repairMessage->setWordWrap(true);
    m_repairProgress->setRange(0, 0); // how long a repair takes is not known
    m_repairProgress->setTextVisible(false);
    m_repairProgress->setMaximumHeight(6);
    // Its place is kept while it is hidden: the controls above must not jump when it appears.
    QSizePolicy keepsPlace = m_repairProgress->sizePolicy();
    keepsPlace.setRetainSizeWhenHidden(true);
    m_repairProgress->setSizePolicy(keepsPlace);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_rescan);
    buttons->addStretch(1);
    buttons->addWidget(m_uninstall);
    buttons->addWidget(m_location);
    buttons->addWidget(m_allLocations);

    auto *repair = new QHBoxLayout;
    repair->addWidget(m_repair);
    repair->addWidget(m_repairMessage, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plugins, 1);
    layout->addLayout(buttons);
    layout->addLayout(repair);
    layout->addWidget(m_repairProgress);

    PluginManager *m = &manager;
    m_deleteConfirmation = new SheetBinding(
        manager, this, [m] { return m->showPluginDeleteConfirmation(); },
        [m](bool shown) {
            m->setShowPluginDeleteConfirmation(shown);
            if (!shown) {
                m->setPluginToDelete(std::nullopt);
            }
        },
        [m](QWidget *host) {
            const QString name = m->pluginToDelete() ? m->pluginToDelete()->name : QString();
            return uninstallQuestion(host, QStringLiteral("卸载“%1”？").arg(displayLine(name)), [m] {
                if (const std::optional<InstalledPlugin> plugin = m->pluginToDelete()) {
                    m->deletePlugin(*plugin);
                }
            });
        });

    connect(m_rescan, &QPushButton::clicked, this, [this] { m_manager.refreshInstalledPlugins(); });
    connect(m_location, &QPushButton::clicked, this, &InstalledPluginsPanel::showSelectedLocation);
    connect(m_allLocations, &QPushButton::clicked, this, [this] { m_manager.viewInstalledLocations(std::nullopt); });
    connect(m_uninstall, &QPushButton::clicked, this, &InstalledPluginsPanel::confirmUninstall);
    connect(m_repair, &QPushButton::clicked, this, [this] { m_manager.repairMotionPlugins(); });
    connect(m_plugins, &QListWidget::itemSelectionChanged, this, &InstalledPluginsPanel::updateButtons);
    connect(m_plugins, &QListWidget::itemDoubleClicked, this, &InstalledPluginsPanel::showSelectedLocation);
    refreshNow();
}

QString InstalledPluginsPanel::rowText(const InstalledPlugin &plugin) {
    return plugin.category + QStringLiteral(" · ") + displayLine(plugin.name);
}

void InstalledPluginsPanel::refresh() {
    const QList<InstalledPlugin> &plugins = m_manager.installedPlugins();
    if (plugins != m_shown) {
        // Keep the selected plug-ins selected when they are still there.
        const int currentRow = m_plugins->currentRow();
        const QString currentId =
            currentRow >= 0 && currentRow < m_shown.size() ? m_shown.at(currentRow).id() : QString();
        QSet<QString> selectedIds;
        for (const InstalledPlugin &plugin : selectedPlugins()) {
            selectedIds.insert(plugin.id());
        }
        m_shown = plugins;
        m_plugins->clear();
        for (const InstalledPlugin &plugin : m_shown) {
            auto *item = new QListWidgetItem(rowText(plugin), m_plugins);
            QStringList paths;
            for (const QString &path : plugin.paths) {
                paths.append(displayLine(path));
            }
            item->setToolTip(plainToolTip(paths.join(QLatin1Char('\n'))));
            if (plugin.id() == currentId) {
                m_plugins->setCurrentItem(item, QItemSelectionModel::NoUpdate);
            }
            item->setSelected(selectedIds.contains(plugin.id()));
        }
    }
    const bool repairing = m_manager.isRepairingMotionRuntime();
    m_repair->setEnabled(!repairing);
    m_repairProgress->setVisible(repairing);
    m_repairMessage->setText(m_manager.motionRepairMessage());
    updateButtons();
}

QMessageBox *InstalledPluginsPanel::multipleDeleteConfirmation() const { return m_multipleConfirmation.data(); }

QList<InstalledPlugin> InstalledPluginsPanel::selectedPlugins() const {
    QList<InstalledPlugin> selected;
    for (int row = 0; row < m_plugins->count() && row < m_shown.size(); ++row) {
        if (m_plugins->item(row)->isSelected()) {
            selected.append(m_shown.at(row));
        }
    }
    return selected;
}

void InstalledPluginsPanel::updateButtons() {
    const bool idle = !m_manager.isWorking();
    const qsizetype selected = selectedPlugins().size();
    m_location->setEnabled(idle && selected == 1);
    m_uninstall->setEnabled(idle && selected > 0);
    m_allLocations->setEnabled(idle);
}

void InstalledPluginsPanel::showSelectedLocation() {
    const QList<InstalledPlugin> selected = selectedPlugins();
    if (selected.size() == 1) {
        m_manager.viewInstalledLocations(selected.first());
    }
}

void InstalledPluginsPanel::confirmUninstall() {
    const QList<InstalledPlugin> selected = selectedPlugins();
    if (selected.size() == 1) {
        m_manager.setPluginToDelete(selected.first());
        m_manager.setShowPluginDeleteConfirmation(true);
        return;
    }
    if (selected.isEmpty() || m_multipleConfirmation) {
        return;
    }
    PluginManager *m = &m_manager;
    QMessageBox *box = uninstallQuestion(this, QStringLiteral("卸载选中的 %1 个插件？").arg(selected.size()),
                                         [m, selected] { m->deletePlugins(selected); });
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    m_multipleConfirmation = box;
    box->open();
}

} // namespace quillon
