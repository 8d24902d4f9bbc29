// Removing installed plug-ins: one administrator command per plug-in, run off the main
// thread so the window keeps painting its progress; receipts go only for what was removed.

#include "inventory/Uninstall.h"

#include "core/PluginManager.h"
#include "install/AdministratorCommand.h"
#include "install/InstallRecords.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateScan.h"
#include "platform/BusyFlag.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace quillon {

namespace {

bool isCategoryFolder(const QString &name) {
    for (const TemplateCategory &category : templateCategories()) {
        if (category.folder == name) {
            return true;
        }
    }
    return false;
}

/// `path` as real category folder + name when it is root/category/name of one of `roots`.
std::optional<QString> removableFolder(const QString &path, const QStringList &roots) {
    if (!QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path) {
        return std::nullopt; // ".", "..", doubled or trailing slashes: not a path the scan gives
    }
    for (const QString &root : roots) {
        if (root.isEmpty() || !path.startsWith(root + QLatin1Char('/'))) {
            continue;
        }
        const QStringList parts = path.mid(root.size() + 1).split(QLatin1Char('/'));
        if (parts.size() != 2 || !isCategoryFolder(parts[0]) || parts[1] == QLatin1String(".localized")) {
            continue;
        }
        const QString realRoot = QFileInfo(root).canonicalFilePath();
        const QString realCategory = QFileInfo(root + QLatin1Char('/') + parts[0]).canonicalFilePath();
        if (realRoot.isEmpty() || realCategory != QDir(realRoot).filePath(parts[0])) {
            continue; // a linked category folder, or none at all
        }
        // Joined by hand: QDir::filePath would take a name such as ":x" for an absolute path.
        return realCategory + QLatin1Char('/') + parts[1];
    }
    return std::nullopt;
}

/// Collects the receipts of the member products whose name matches a removed folder, and
/// forgets them all at once: every preference write costs the main thread a file sync, which
/// once per plug-in made a long run stall. The products' folded names are kept while the
/// member library stays the same list, so each removal costs a containment test per product.
class ReceiptForgetter final {
public:
    void collect(const PluginManager &model, const InstalledPlugin &plugin) {
        if (!m_products.isSharedWith(model.memberProducts()) || m_aliases.size() != m_products.size()) {
            m_products = model.memberProducts();
            m_aliases.clear();
            for (const MemberProduct &product : m_products) {
                m_aliases.append(PluginInstallMatcher::matchableAliases(product.productName,
                                                                        PluginInstallMatcher::aliasTable()));
            }
        }
        // Aliases shorter than 3 characters are already left out, so a shorter folder matches none.
        const QString folder = PluginInstallMatcher::normalized(plugin.name);
        for (qsizetype i = 0; i < m_products.size(); ++i) {
            const QStringList &aliases = m_aliases.at(i);
            if (std::any_of(aliases.begin(), aliases.end(),
                            [&](const QString &alias) { return PluginInstallMatcher::containsAlias(folder, alias); })) {
                m_keys.append(installedPathsDefaultsKey(InstallRecord::installReceipt, m_products.at(i).productKey));
            }
        }
    }

    void forget(Preferences &defaults) {
        for (const QString &key : std::as_const(m_keys)) {
            defaults.remove(key);
        }
        m_keys.clear();
    }

private:
    QList<MemberProduct> m_products;
    QList<QStringList> m_aliases;
    QStringList m_keys;
};

QString uninstallSummary(const QList<InstalledPlugin> &plugins, int removed, const QStringList &failedNames) {
    if (plugins.size() == 1) {
        const QString &name = plugins.first().name;
        return failedNames.isEmpty()
                   ? QStringLiteral("✓ 已卸载 ") + name + QStringLiteral("。请重启 Final Cut Pro。")
                   : QStringLiteral("没有完成卸载 ") + name + QStringLiteral("，请完全退出 Final Cut Pro 后重试。");
    }
    if (failedNames.isEmpty()) {
        return QStringLiteral("✓ 已卸载 %1 个插件。请重启 Final Cut Pro。").arg(removed);
    }
    return QStringLiteral("已卸载 %1 个，%2 个未完成：").arg(removed).arg(failedNames.size()) +
           failedNames.join(QStringLiteral("、"));
}

/// Removes the plug-ins one after another, then rescans and reports. A single plug-in
/// (`deletePlugin`) shows no position in its progress text.
QCoro::Task<> runUninstall(ModelGuard<PluginManager> model, QList<InstalledPlugin> plugins, bool single) {
    const BusyFlag working(model, &PluginManager::setIsWorking);
    int removed = 0;
    QStringList failedNames;
    ReceiptForgetter receipts;
    // Kept so that what was removed loses its receipts even if the model goes meanwhile.
    const std::shared_ptr<Preferences> defaults = model->environment().preferences;
    const qsizetype count = plugins.size();
    for (qsizetype i = 0; i < count; ++i) {
        const InstalledPlugin &plugin = plugins.at(i);
        if (!single) {
            model->setInstallMessage(QStringLiteral("正在卸载 %1/%2：").arg(i + 1).arg(count) + plugin.name +
                                     QStringLiteral("…"));
        }
        bool succeeded = true;
        try {
            auto removal = model->removeInstalledPluginPaths(plugin.paths);
            co_await removal;
        } catch (const std::exception &error) {
            // The message names the plug-in; the cause goes to the log.
            qCWarning(lcInventory) << "uninstall of" << plugin.name << "failed:" << failureDescription(error);
            succeeded = false;
        }
        if (!model) {
            receipts.forget(*defaults);
            co_return;
        }
        if (succeeded) {
            receipts.collect(*model.get(), plugin);
            ++removed;
        } else {
            failedNames.append(plugin.name);
        }
    }
    receipts.forget(*defaults);
    // Also after failures: an earlier plug-in may be gone, or a folder half removed.
    model->refreshInstalledPlugins();
    model->setInstallMessage(uninstallSummary(plugins, removed, failedNames));
}

} // namespace

QStringList removablePluginFolders(const QStringList &paths, const QStringList &roots) {
    QStringList folders;
    for (const QString &path : paths) {
        const std::optional<QString> folder = removableFolder(path, roots);
        if (!folder) {
            throw UninstallRefused(path);
        }
        if (!folders.contains(*folder)) {
            folders.append(*folder);
        }
    }
    if (folders.isEmpty()) {
        throw UninstallRefused(QString());
    }
    return folders;
}

QString removalCommand(const QString &rm, const QStringList &folders) {
    QStringList words{shellWord(rm), QStringLiteral("-rf")};
    for (const QString &folder : folders) {
        words.append(shellQuoted(folder));
    }
    return words.join(QLatin1Char(' '));
}

QCoro::Task<> PluginManager::removeInstalledPluginPaths(QStringList paths) {
    // The checks read the file system, the prompt and rm block: all of it on a pool thread,
    // and nothing of the model is touched after.
    auto run = runBlocking([paths = std::move(paths), roots = templateRoots(m_environment.paths),
                            rm = m_environment.tools.rm, tools = privilegedTools()] {
        runAdministratorScriptChecked(removalCommand(rm, removablePluginFolders(paths, roots)), tools);
    });
    co_await run;
}

void PluginManager::deletePlugin(const InstalledPlugin &plugin) {
    if (m_isWorking) {
        return;
    }
    setIsWorking(true);
    setInstallMessage(QStringLiteral("正在卸载 ") + plugin.name + QStringLiteral("…"));
    runUninstall(ModelGuard<PluginManager>(this), {plugin}, true);
}

void PluginManager::deletePlugins(const QList<InstalledPlugin> &plugins) {
    if (plugins.isEmpty() || m_isWorking) {
        return;
    }
    setIsWorking(true);
    setInstallMessage(QStringLiteral("正在卸载 0/%1…").arg(plugins.size()));
    runUninstall(ModelGuard<PluginManager>(this), plugins, false);
}

} // namespace quillon
