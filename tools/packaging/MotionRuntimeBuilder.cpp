#include "packaging/MotionRuntimeBuilder.h"

#include "common/CodeSeal.h"
#include "common/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace quillon::packaging {

namespace {

void check(bool ok, const QString &error) {
    if (!ok) {
        throw std::runtime_error(error.toStdString());
    }
}

void writeBytes(const QString &path, const QByteArray &bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
          QStringLiteral("cannot write ") + path);
    if (executable) {
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
}

/// An Info.plist and its executable; `protocol` makes it a PlugInKit extension of that protocol.
void writeInfo(const QString &bundle, const QString &identifier, const QString &executable, const char *protocol) {
    standin::Plist info(plist_new_dict());
    plist_dict_set_item(info.get(), "CFBundleIdentifier", plist_new_string(identifier.toUtf8().constData()));
    plist_dict_set_item(info.get(), "CFBundleExecutable", plist_new_string(executable.toUtf8().constData()));
    if (protocol) {
        plist_dict_set_item(info.get(), "ProPlugDictionaryVersion", plist_new_string("1.0"));
        plist_t attributes = plist_new_dict();
        plist_dict_set_item(attributes, "com.apple.protocol", plist_new_string(protocol));
        plist_t plugInKit = plist_new_dict();
        plist_dict_set_item(plugInKit, "Attributes", attributes);
        plist_dict_set_item(info.get(), "PlugInKit", plugInKit);
    }
    QString error;
    check(standin::writeXml(info.get(), QDir(bundle).filePath(QStringLiteral("Contents/Info.plist")), error), error);
    writeBytes(QDir(bundle).filePath(QStringLiteral("Contents/MacOS/") + executable), "#!/bin/sh\nexit 0\n", true);
}

void seal(const QString &bundle, Seal state) {
    QString error;
    if (state != Seal::none) {
        check(standin::writeSeal(bundle, error), error);
    }
}

/// Changes a sealed file (the executable, so the bundle still reads as a runtime) or adds
/// an unsealed one, as the seal state asks.
void spoil(const QString &bundle, const QString &executable, Seal state) {
    if (state == Seal::tampered) {
        QFile file(QDir(bundle).filePath(QStringLiteral("Contents/MacOS/") + executable));
        check(file.open(QIODevice::Append) && file.write("# changed\n") > 0, QStringLiteral("cannot change ") + bundle);
    } else if (state == Seal::unsealedRoot) {
        writeBytes(QDir(bundle).filePath(QStringLiteral("notes.txt")), "left beside Contents");
    }
}

} // namespace

QString writeMotionRuntime(const QString &appPath, const MotionRuntimeSpec &spec) {
    const QString extension = QDir(appPath).filePath(QStringLiteral("Contents/PlugIns/ZelmFxPluginXPC.pluginkit"));
    writeInfo(extension, spec.identifier + QStringLiteral(".xpc"), QStringLiteral("ZelmFxPluginXPC"),
              spec.fxPlug ? "FxPlug" : "Other");
    seal(extension, spec.extension);
    writeInfo(appPath, spec.identifier, QStringLiteral("ZelmFxPlugin"), nullptr);
    writeBytes(QDir(appPath).filePath(QStringLiteral("Contents/Resources/Runtime.motn")), "motion template runtime");
    seal(appPath, spec.application);
    spoil(extension, QStringLiteral("ZelmFxPluginXPC"), spec.extension);
    spoil(appPath, QStringLiteral("ZelmFxPlugin"), spec.application);
    return appPath;
}

} // namespace quillon::packaging
