#include "inventory/MotionRuntimeRepair.h"

#include "inventory/Inventory.h"
#include "platform/Bundle.h"
#include "platform/BusyFlag.h"
#include "platform/Logging.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTextBoundaryFinder>

#include <optional>
#include <thread>

namespace quillon {

namespace {

const QString runtimeBundleName = QStringLiteral("MotionRuntime.app");
const QString runtimeIdentifierPrefix = QStringLiteral("local.motiontemplate.runtime.");
const QString legacyIdentifier = QStringLiteral("ZelmPlugin");
const QString runtimeExecutable = QStringLiteral("ZelmFxPlugin");
const QString extensionInBundle = QStringLiteral("Contents/PlugIns/ZelmFxPluginXPC.pluginkit");
const QString extensionExecutable = QStringLiteral("Contents/MacOS/ZelmFxPluginXPC");
const QString motionSupport = QStringLiteral("Library/Application Support/Final Cut Pro/.MotionSupport");
const QString legacyFolder = QStringLiteral("Library/FrontBoard");
const QString unsealedRootWarning = QStringLiteral(": unsealed contents present in the bundle root");
/// Shown when the repair itself broke down (the cause is in the log): nothing was counted.
const QString kRepairFailed = QStringLiteral("Motion 运行组件修复未完成，请稍后再次点击修复。");

/// Folders the system shows as single files (packages): the walk lists them but never enters.
bool isPackage(const QFileInfo &folder) {
    static const QSet<QString> extensions{
        QStringLiteral("app"),    QStringLiteral("appex"),     QStringLiteral("bundle"),
        QStringLiteral("component"), QStringLiteral("framework"), QStringLiteral("kext"),
        QStringLiteral("pkg"),    QStringLiteral("mpkg"),      QStringLiteral("plugin"),
        QStringLiteral("pluginkit"), QStringLiteral("prefpane"), QStringLiteral("xpc"),
    };
    return extensions.contains(folder.suffix().toLower());
}

/// Calls `visit` for every entry below `root` (hidden ones too), depth first. Packages and
/// links are listed but not entered; folders that cannot be read are passed over.
template <typename Visit>
void walk(const QString &root, Visit visit) {
    QStringList pending{root};
    while (!pending.isEmpty()) {
        QDirIterator it(pending.takeLast(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            visit(info);
            if (info.isDir() && !info.isSymLink() && !isPackage(info)) {
                pending.append(info.filePath());
            }
        }
    }
}

/// At least 12 characters after the prefix, each a letter or digit of any script, or "-".
bool isRuntimeIdentifier(const QString &identifier) {
    if (!identifier.startsWith(runtimeIdentifierPrefix)) {
        return false;
    }
    const QString rest = identifier.mid(runtimeIdentifierPrefix.size());
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, rest);
    int characters = 0;
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        const QString character = rest.mid(start, end - start);
        const char32_t first = character.toUcs4().value(0);
        const bool allowed = character == QStringLiteral("-") || QChar::isLetterOrNumber(first);
        if (!allowed) {
            return false;
        }
        ++characters;
        start = end;
    }
    return characters >= 12;
}

/// The runtime at `appPath`, when it is one: the right identifier, the executable
/// "ZelmFxPlugin", and an FxPlug extension.
std::optional<MotionRuntimeCandidate> runtimeAt(const QString &appPath, bool legacy) {
    const std::optional<Bundle> bundle = Bundle::open(appPath);
    if (!bundle || !bundle->identifier()) {
        return std::nullopt;
    }
    const QString identifier = *bundle->identifier();
    if (legacy ? identifier != legacyIdentifier : !isRuntimeIdentifier(identifier)) {
        return std::nullopt;
    }
    const std::optional<QString> executable = bundle->executablePath();
    if (!executable || QFileInfo(*executable).fileName() != runtimeExecutable || !QFileInfo::exists(*executable)) {
        return std::nullopt;
    }
    const QString pluginPath = QDir(appPath).filePath(extensionInBundle);
    if (!MotionRuntimeRepair::isFxPlugRuntime(pluginPath)) {
        return std::nullopt;
    }
    return MotionRuntimeCandidate{QDir::cleanPath(appPath), pluginPath, identifier};
}

/// Line breaks as the legacy warning rule counts them.
bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'\u0085':
    case u'\u2028':
    case u'\u2029':
        return true;
    default:
        return false;
    }
}

bool isBlank(QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; }

QStringView trimmedOfBlanks(QStringView line) {
    while (!line.isEmpty() && isBlank(line.front())) {
        line = line.mid(1);
    }
    while (!line.isEmpty() && isBlank(line.back())) {
        line.chop(1);
    }
    return line;
}

QCoro::Task<> runRepair(ModelGuard<InventoryHost> model, MotionRuntimeRepair::Context context) {
    BusyFlag repairing(model, &InventoryHost::setIsRepairingMotionRuntime);
    std::optional<MotionRuntimeRepairReport> report;
    try {
        auto work = runBlocking([context = std::move(context)] { return MotionRuntimeRepair::perform(context); });
        report = co_await work;
    } catch (const std::exception &error) {
        qCWarning(lcInventory) << "the Motion runtime repair failed:" << error.what();
    }
    if (!model) {
        qCInfo(lcInventory) << "a Motion runtime repair ended after its model went away";
        co_return;
    }
    repairing.lower();
    model->setMotionRepairMessage(report ? report->customerMessage() : kRepairFailed);
}

} // namespace

QString MotionRuntimeRepairReport::customerMessage() const {
    if (found == 0) {
        return QStringLiteral("没有找到可修复的 Motion 运行组件。系统重装后组件可能已丢失，请在会员插件库中重新安装对应插件。");
    }
    if (repaired == found) {
        return QStringLiteral("✓ 已修复完成");
    }
    return QStringLiteral("已修复 %1 个组件，另有 %2 个未完成。请先重新安装对应插件，再次点击修复。").arg(repaired).arg(failed);
}

namespace MotionRuntimeRepair {

Context Context::of(const ModelEnvironment &environment) {
    return Context{environment.paths, environment.tools, environment.workspace, environment.timing.motionRuntimeQuitPause};
}

QList<MotionRuntimeCandidate> discover(const SystemPaths &paths, bool includeSystemRoot, bool includeLegacyRoot) {
    QList<MotionRuntimeCandidate> candidates;
    QSet<QString> seen;
    const auto consider = [&](const QFileInfo &entry, bool legacy) {
        const bool named = legacy ? entry.suffix().toLower() == QStringLiteral("app") : entry.fileName() == runtimeBundleName;
        if (!named) {
            return;
        }
        std::optional<MotionRuntimeCandidate> candidate = runtimeAt(entry.filePath(), legacy);
        if (candidate && !seen.contains(candidate->appURL)) {
            seen.insert(candidate->appURL);
            candidates.append(std::move(*candidate));
        }
    };

    QStringList currentRoots{QDir(paths.home).filePath(motionSupport)};
    if (includeSystemRoot) {
        currentRoots.append(paths.underSystemRoot(QLatin1Char('/') + motionSupport));
    }
    for (const QString &root : currentRoots) {
        walk(root, [&](const QFileInfo &entry) { consider(entry, false); });
    }
    if (includeLegacyRoot) {
        walk(QDir(paths.home).filePath(legacyFolder), [&](const QFileInfo &entry) { consider(entry, true); });
    }
    return candidates;
}

bool isFxPlugRuntime(const QString &pluginURL) {
    const std::optional<Bundle> plugin = Bundle::open(pluginURL);
    return plugin && plugin->hasInfoKey(QStringLiteral("ProPlugDictionaryVersion")) &&
           plugin->infoString({QStringLiteral("PlugInKit"), QStringLiteral("Attributes"),
                               QStringLiteral("com.apple.protocol")}) == QStringLiteral("FxPlug") &&
           QFileInfo::exists(QDir(pluginURL).filePath(extensionExecutable));
}

bool signatureIsAcceptable(const MotionRuntimeCandidate &candidate, const Context &context) {
    const QString &codesign = context.tools.codesign;
    const QString &root = context.paths.systemRoot;
    const QString verify = QStringLiteral("--verify");
    const QString deep = QStringLiteral("--deep");
    const QString strict = QStringLiteral("--strict");
    if (candidate.bundleIdentifier != legacyIdentifier) {
        return execute(codesign, {verify, deep, strict, candidate.appURL}, root).status == 0;
    }
    // Legacy runtimes: the extension must pass the strict check; the application may fail
    // the relaxed one with nothing but the known warning about its bundle root.
    if (execute(codesign, {verify, deep, strict, candidate.pluginURL}, root).status != 0) {
        return false;
    }
    const ToolResult relaxed = execute(codesign, {verify, deep, candidate.appURL}, root);
    return relaxed.status == 0 || isKnownLegacyVerificationWarning(relaxed.error);
}

bool isKnownLegacyVerificationWarning(const QString &errorText) {
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= errorText.size(); ++i) {
        if (i == errorText.size() || isLineBreak(errorText.at(i))) {
            const QStringView line = trimmedOfBlanks(QStringView(errorText).mid(start, i - start));
            if (!line.isEmpty()) {
                lines.append(line);
            }
            start = i + 1;
        }
    }
    return lines.size() == 1 && lines.first().endsWith(unsealedRootWarning);
}

ToolResult execute(const QString &tool, const QStringList &arguments, const QString &systemRoot) {
    const QFileInfo executable(tool);
    if (!executable.isFile() || !executable.isExecutable()) {
        return ToolResult{-1, QStringLiteral("Executable not found: ") + tool};
    }
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    process.setProcessEnvironment(toolProcessEnvironment(systemRoot));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(-1)) {
        return ToolResult{-1, process.errorString()};
    }
    process.waitForFinished(-1);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    return ToolResult{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, error};
}

MotionRuntimeRepairReport perform(const Context &context) {
    const QList<MotionRuntimeCandidate> candidates = discover(context.paths, true, true);
    MotionRuntimeRepairReport report;
    report.found = int(candidates.size());

    QList<MotionRuntimeCandidate> accepted;
    for (const MotionRuntimeCandidate &candidate : candidates) {
        if (signatureIsAcceptable(candidate, context)) {
            accepted.append(candidate);
        } else {
            qCInfo(lcInventory) << "Motion runtime rejected by its signature check:" << candidate.appURL;
        }
    }
    report.failed = report.found - int(accepted.size());

    // Running copies hold their registrations; ask each to quit, waiting for none.
    QStringList identifiers;
    for (const MotionRuntimeCandidate &candidate : accepted) {
        if (!identifiers.contains(candidate.bundleIdentifier)) {
            identifiers.append(candidate.bundleIdentifier);
        }
    }
    if (context.workspace) {
        for (const QString &identifier : identifiers) {
            context.workspace->terminateApplications(identifier);
        }
    }
    if (accepted.isEmpty()) {
        return report;
    }
    std::this_thread::sleep_for(context.quitPause);

    for (const MotionRuntimeCandidate &candidate : accepted) {
        const ToolResult application =
            execute(context.tools.lsregister, {QStringLiteral("-f"), candidate.appURL}, context.paths.systemRoot);
        const ToolResult extension =
            execute(context.tools.pluginkit, {QStringLiteral("-a"), candidate.pluginURL}, context.paths.systemRoot);
        if (application.status == 0 && extension.status == 0) {
            ++report.repaired;
        } else {
            qCWarning(lcInventory) << "Motion runtime not registered:" << candidate.appURL << application.status
                                   << application.error << extension.status << extension.error;
            ++report.failed;
        }
    }
    return report;
}

} // namespace MotionRuntimeRepair

void Inventory::repairMotionPlugins() {
    if (m_host.isRepairingMotionRuntime()) {
        return;
    }
    m_host.setIsRepairingMotionRuntime(true);
    m_host.setMotionRepairMessage(QStringLiteral("正在检查并修复 Motion 运行组件…"));
    runRepair(guard(), MotionRuntimeRepair::Context::of(m_host.environment()));
}

} // namespace quillon
