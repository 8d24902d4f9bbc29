// Removing installed plug-ins: one administrator command per plug-in, run off the main
// thread so the window keeps painting its progress; receipts go only for what was removed.

#include "inventory/Uninstall.h"

#include "inventory/Inventory.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateScan.h"
#include "platform/BusyFlag.h"
#include "platform/FolderListing.h"
#include "platform/Logging.h"
#include "records/AdministratorCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <optional>
#include <utility>

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

/// Whether anything, even a dangling link, is at `path`.
bool entryExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

/// Whether `category` holds a folder that the scan shows under `name`: the scan turns the
/// bytes of a name into text, and bytes that are not valid UTF-8 do not come back from it.
bool listedUnder(const QString &category, const QString &name) {
    return namesOfListing(subfolderListing(category)).contains(name);
}

/// The category folder and the name of a folder as `removableFolder` writes it.
std::pair<QString, QString> categoryAndName(const QString &folder) {
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return {folder.left(slash), folder.mid(slash + 1)};
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
        const QString folder = realCategory + QLatin1Char('/') + parts[1];
        if (!entryExists(folder) && listedUnder(realCategory, parts[1])) {
            throw UninstallRefused(path, UninstallRefused::Reason::unspellableName);
        }
        return folder;
    }
    return std::nullopt;
}

/// Collects the receipts to forget for the removed plug-ins and forgets them all at once:
/// every preference write costs the main thread a file sync, which once per plug-in made a
/// long run stall. A receipt goes when its product's name matches a removed folder (member
/// products of the library on screen), or when its product recorded a removed folder as
/// one it added (any product ever installed, whichever library is on screen now). The
/// products' folded names are kept while the member library stays the same list, so each
/// removal costs a containment test per product.
class ReceiptForgetter final {
public:
    void collect(const InventoryHost &model, const InstalledPlugin &plugin) {
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
                m_productKeys.insert(m_products.at(i).productKey);
            }
        }
        for (const QString &path : plugin.paths) {
            m_removedPaths.insert(path);
        }
    }

    void forget(InstallRecords records) {
        m_productKeys.unite(records.productsThatAdded(m_removedPaths));
        m_removedPaths.clear();
        records.forgetReceipts(m_productKeys);
        m_productKeys.clear();
    }

private:
    QList<MemberProduct> m_products;
    QList<QStringList> m_aliases;
    QSet<QString> m_productKeys;
    QSet<QString> m_removedPaths;
};

/// The closing text. It follows the entry point: a removal of a selection that holds one
/// plug-in still counts, as any selection does.
QString uninstallSummary(const QList<InstalledPlugin> &plugins, bool single, int removed,
                         const QStringList &failedNames) {
    if (single) {
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
QCoro::Task<> runUninstall(ModelGuard<InventoryHost> model, QList<InstalledPlugin> plugins, bool single) {
    const BusyFlag working(model, &InventoryHost::setIsWorking);
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
            auto removal = model->inventory().removeInstalledPluginPaths(plugin.paths);
            co_await removal;
        } catch (const std::exception &error) {
            // The message names the plug-in; the cause goes to the log.
            qCWarning(lcInventory) << "uninstall of" << plugin.name << "failed:" << failureDescription(error);
            succeeded = false;
        }
        if (!model) {
            receipts.forget(InstallRecords(*defaults));
            co_return;
        }
        if (succeeded) {
            receipts.collect(*model.get(), plugin);
            ++removed;
        } else {
            failedNames.append(plugin.name);
        }
    }
    receipts.forget(InstallRecords(*defaults));
    // Also after failures: an earlier plug-in may be gone, or a folder half removed.
    model->inventory().refreshInstalledPlugins();
    model->setInstallMessage(uninstallSummary(plugins, single, removed, failedNames));
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
    // `cd -P` resolves every link on the way and `pwd -P` tells where it arrived: when that
    // is not the category folder as checked, something was swapped for a link since, and
    // nothing is removed. Inside it the plug-in is named relative to it, so rm never
    // follows a path through the tree again.
    QString script = QStringLiteral("enter() { cd -P -- \"$1\" && [ \"$(pwd -P)\" = \"$1\" ] && return; "
                                    "printf '%s\\n' \"模板类别文件夹已不在原处：$1\" >&2; return 1; }");
    QStringList steps;
    for (const QString &folder : folders) {
        const auto [category, name] = categoryAndName(folder);
        steps.append(QStringLiteral("enter ") + shellQuoted(category) + QStringLiteral(" && ") + shellWord(rm) +
                     QStringLiteral(" -rf -- ") + shellQuoted(QStringLiteral("./") + name));
    }
    return script + QLatin1Char('\n') + steps.join(QStringLiteral(" && "));
}

void ensureRemoved(const QStringList &folders) {
    for (const QString &folder : folders) {
        const auto [category, name] = categoryAndName(folder);
        if (entryExists(folder) || listedUnder(category, name)) {
            throw UninstallIncomplete(folder);
        }
    }
}

QCoro::Task<> Inventory::removeInstalledPluginPaths(QStringList paths) {
    // The checks read the file system, the prompt and rm block: all of it on a pool thread,
    // and nothing of the model is touched after.
    const ModelEnvironment &environment = m_host.environment();
    auto run = runBlocking([paths = std::move(paths), roots = templateRoots(environment.paths),
                            rm = environment.tools.rm, tools = PrivilegedTools::of(environment)] {
        const QStringList folders = removablePluginFolders(paths, roots);
        runAdministratorScriptChecked(removalCommand(rm, folders), tools);
        // A command that ended well is not yet a removal: only what is gone counts.
        ensureRemoved(folders);
    });
    co_await run;
}

void Inventory::deletePlugin(const InstalledPlugin &plugin) {
    if (m_host.isWorking()) {
        return;
    }
    m_host.setIsWorking(true);
    m_host.setInstallMessage(QStringLiteral("正在卸载 ") + plugin.name + QStringLiteral("…"));
    runUninstall(guard(), {plugin}, true);
}

void Inventory::deletePlugins(const QList<InstalledPlugin> &plugins) {
    if (plugins.isEmpty() || m_host.isWorking()) {
        return;
    }
    m_host.setIsWorking(true);
    m_host.setInstallMessage(QStringLiteral("正在卸载 0/%1…").arg(plugins.size()));
    runUninstall(guard(), plugins, false);
}

} // namespace quillon
