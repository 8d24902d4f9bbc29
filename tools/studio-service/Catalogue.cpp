#include "Catalogue.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <stdexcept>

namespace studio {
namespace {

[[noreturn]] void fail(const QString &where, const QString &what) {
    throw std::runtime_error((where + QStringLiteral(": ") + what).toStdString());
}

QString text(const QJsonObject &object, const QString &key, const QString &where, bool required = true) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() && !required) {
        return {};
    }
    if (!value.isString() || (required && value.toString().isEmpty())) {
        fail(where, QStringLiteral("\"%1\" must be a non-empty string").arg(key));
    }
    return value.toString();
}

QJsonArray array(const QJsonObject &object, const QString &key, const QString &where) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        return {};
    }
    if (!value.isArray()) {
        fail(where, QStringLiteral("\"%1\" must be a list").arg(key));
    }
    return value.toArray();
}

QStringList strings(const QJsonObject &object, const QString &key, const QString &where) {
    QStringList list;
    for (const QJsonValue &value : array(object, key, where)) {
        if (!value.isString() || value.toString().isEmpty()) {
            fail(where, QStringLiteral("\"%1\" must list non-empty strings").arg(key));
        }
        list.append(value.toString());
    }
    return list;
}

// A name that stays one path component wherever it is put.
QString plainName(const QString &name, const QString &where) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')) || name.contains(QChar(0))) {
        fail(where, QStringLiteral("\"%1\" is not a plain file or folder name").arg(name));
    }
    return name;
}

// A relative path without empty, "." or ".." parts.
QString relativePath(const QString &path, const QString &where) {
    for (const QString &part : path.split(QLatin1Char('/'))) {
        plainName(part, where);
    }
    return path;
}

// A runtime the application's repair would pass over is a catalogue mistake: said at once.
RuntimeBundle readRuntime(const QJsonObject &entry, const QString &where) {
    static const QString prefix = QStringLiteral("local.motiontemplate.runtime.");
    RuntimeBundle runtime{plainName(text(entry, QStringLiteral("folder"), where), where),
                          text(entry, QStringLiteral("identifier"), where)};
    const QString rest = runtime.identifier.mid(prefix.size());
    const bool usable = runtime.identifier.startsWith(prefix) && rest.size() >= 12 &&
                        std::all_of(rest.begin(), rest.end(), [](QChar c) {
                            return c == QLatin1Char('-') || (c.unicode() < 128 && c.isLetterOrNumber());
                        });
    if (!usable) {
        fail(where, QStringLiteral("runtime identifier \"%1\" is not \"%2\" followed by at least 12 ASCII "
                                   "letters, digits or \"-\"").arg(runtime.identifier, prefix));
    }
    return runtime;
}

ServedFile readFile(const QJsonObject &entry, int index) {
    const QString where = QStringLiteral("files[%1]").arg(index);
    ServedFile file;
    file.spec = entry;
    file.fileName = plainName(text(entry, QStringLiteral("fileName"), where), where);
    if (file.isPackage()) {
        file.identifier = text(entry, QStringLiteral("identifier"), where);
        static const QStringList categories{QStringLiteral("Titles"), QStringLiteral("Generators"),
                                            QStringLiteral("Effects"), QStringLiteral("Transitions")};
        for (const QJsonValue &value : array(entry, QStringLiteral("folders"), where)) {
            const QJsonObject folder = value.toObject();
            const QString category = text(folder, QStringLiteral("category"), where);
            if (!categories.contains(category)) {
                fail(where, QStringLiteral("category \"%1\" is not one of %2").arg(category, categories.join(u", ")));
            }
            file.folders.append({category, plainName(text(folder, QStringLiteral("name"), where), where)});
        }
        if (file.folders.isEmpty()) {
            fail(where, QStringLiteral("a package installs at least one folder"));
        }
        const QJsonValue padding = entry.value(QStringLiteral("paddingMiB"));
        file.paddingMiB = padding.toInt(-1);
        if (padding.isUndefined()) {
            file.paddingMiB = 0;
        } else if (file.paddingMiB < 0 || file.paddingMiB > 1024) {
            fail(where, QStringLiteral("\"paddingMiB\" must be a whole number from 0 to 1024"));
        }
        for (const QJsonValue &value : array(entry, QStringLiteral("runtimeBundles"), where)) {
            file.runtimes.append(readRuntime(value.toObject(), where));
            for (qsizetype i = 0; i + 1 < file.runtimes.size(); ++i) {
                if (file.runtimes[i].folder == file.runtimes.last().folder) {
                    fail(where, QStringLiteral("two runtime bundles in the folder \"%1\"").arg(file.runtimes.last().folder));
                }
            }
        }
    } else if (file.fileName.endsWith(QLatin1String(".zip"))) {
        for (const QString &path : strings(entry, QStringLiteral("entries"), where)) {
            file.entries.append(relativePath(path, where));
        }
        if (file.entries.isEmpty()) {
            fail(where, QStringLiteral("an archive holds at least one entry"));
        }
    } else {
        fail(where, QStringLiteral("\"fileName\" must end in .pkg or .zip"));
    }
    return file;
}

const QMap<QString, Delivery> &deliveryKinds() {
    static const QMap<QString, Delivery> kinds{
        {QStringLiteral("package"), Delivery::package},         {QStringLiteral("resource"), Delivery::resource},
        {QStringLiteral("baidu_pan"), Delivery::baiduPan},      {QStringLiteral("hybrid"), Delivery::hybrid},
        {QStringLiteral("partner_pool"), Delivery::partnerPool}, {QStringLiteral("refused"), Delivery::refused},
    };
    return kinds;
}

Product readProduct(const QJsonObject &entry, int index, const QMap<QString, ServedFile> &files) {
    QString where = QStringLiteral("products[%1]").arg(index);
    // The library record must decode in the application: its required fields are checked here.
    for (const char *key : {"productKey", "productName", "category", "productType", "minFcpVersion", "description"}) {
        text(entry, QLatin1String(key), where);
    }
    text(entry, QStringLiteral("coverUrl"), where, false);
    if (!entry.value(QStringLiteral("effectCount")).isDouble()) {
        fail(where, QStringLiteral("\"effectCount\" must be a number"));
    }
    Product product;
    product.key = entry.value(QStringLiteral("productKey")).toString();
    product.name = entry.value(QStringLiteral("productName")).toString();
    product.productType = entry.value(QStringLiteral("productType")).toString();
    where = QStringLiteral("product \"%1\"").arg(product.key);
    product.record = entry;
    product.record.remove(QStringLiteral("delivery"));
    if (!product.record.contains(QStringLiteral("coverUrl"))) {
        product.record.insert(QStringLiteral("coverUrl"), QString());
    }

    const QJsonObject delivery = entry.value(QStringLiteral("delivery")).toObject();
    const QString kind = text(delivery, QStringLiteral("kind"), where);
    if (!deliveryKinds().contains(kind)) {
        fail(where, QStringLiteral("delivery kind \"%1\" is not one of %2").arg(kind, deliveryKinds().keys().join(u", ")));
    }
    product.delivery = deliveryKinds().value(kind);
    product.accessCode = text(delivery, QStringLiteral("accessCode"), where, false);
    product.archivePassword = text(delivery, QStringLiteral("archivePassword"), where, false);
    product.note = text(delivery, QStringLiteral("note"), where, false);
    switch (product.delivery) {
    case Delivery::package:
    case Delivery::hybrid:
    case Delivery::resource: {
        product.file = text(delivery, QStringLiteral("file"), where);
        const auto file = files.constFind(product.file);
        if (file == files.constEnd()) {
            fail(where, QStringLiteral("file \"%1\" is not in \"files\"").arg(product.file));
        }
        const bool resource = product.delivery == Delivery::resource;
        if (file->isPackage() == resource) {
            fail(where, resource ? QStringLiteral("a resource is delivered as a .zip archive")
                                 : QStringLiteral("a package delivery needs a .pkg file"));
        }
        if (resource == (product.productType == QLatin1String("plugin"))) {
            fail(where, resource ? QStringLiteral("a resource has a product type other than \"plugin\"")
                                 : QStringLiteral("a package product has the product type \"plugin\""));
        }
        break;
    }
    case Delivery::partnerPool:
        product.partnerCode = text(delivery, QStringLiteral("partnerCode"), where);
        break;
    case Delivery::refused:
        product.refusal = text(delivery, QStringLiteral("error"), where);
        break;
    case Delivery::baiduPan:
        break;
    }
    // The library tells cloud-drive products apart by their delivery type.
    if (product.delivery == Delivery::baiduPan || product.delivery == Delivery::hybrid ||
        product.delivery == Delivery::partnerPool) {
        product.record.insert(QStringLiteral("deliveryType"), kind);
    }
    return product;
}

} // namespace

Catalogue Catalogue::load(const QString &path) {
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly)) {
        fail(path, input.errorString());
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &error);
    if (!document.isObject()) {
        fail(path, error.error == QJsonParseError::NoError ? QStringLiteral("not a JSON object")
                                                           : QStringLiteral("at offset %1: %2").arg(error.offset).arg(error.errorString()));
    }
    const QJsonObject root = document.object();
    Catalogue catalogue;
    catalogue.user = root.value(QStringLiteral("user")).toObject();
    catalogue.loginExpiresIn = root.value(QStringLiteral("loginExpiresIn")).toInt(600);
    if (catalogue.loginExpiresIn < 1) {
        fail(path, QStringLiteral("\"loginExpiresIn\" must be a number of seconds"));
    }
    catalogue.updateManifest = root.value(QStringLiteral("update")).toObject();

    const QJsonArray files = array(root, QStringLiteral("files"), path);
    for (int i = 0; i < files.size(); ++i) {
        ServedFile file = readFile(files.at(i).toObject(), i);
        if (catalogue.files.contains(file.fileName)) {
            fail(QStringLiteral("files[%1]").arg(i), QStringLiteral("\"%1\" is listed twice").arg(file.fileName));
        }
        catalogue.files.insert(file.fileName, std::move(file));
    }
    const QJsonArray products = array(root, QStringLiteral("products"), path);
    for (int i = 0; i < products.size(); ++i) {
        Product product = readProduct(products.at(i).toObject(), i, catalogue.files);
        if (catalogue.products.contains(product.key)) {
            fail(QStringLiteral("products[%1]").arg(i), QStringLiteral("\"%1\" is listed twice").arg(product.key));
        }
        catalogue.products.insert(product.key, std::move(product));
    }

    auto checkProducts = [&](const QStringList &keys, const QString &where) {
        for (const QString &key : keys) {
            if (!catalogue.products.contains(key)) {
                fail(where, QStringLiteral("product \"%1\" is not in \"products\"").arg(key));
            }
        }
        return keys;
    };
    const QJsonArray memberships = array(root, QStringLiteral("memberships"), path);
    for (int i = 0; i < memberships.size(); ++i) {
        const QString where = QStringLiteral("memberships[%1]").arg(i);
        const QJsonObject entry = memberships.at(i).toObject();
        Membership membership;
        membership.key = text(entry, QStringLiteral("productKey"), where);
        membership.license = QJsonObject{{QStringLiteral("productKey"), membership.key},
                                         {QStringLiteral("productName"), text(entry, QStringLiteral("productName"), where)},
                                         {QStringLiteral("productType"), text(entry, QStringLiteral("productType"), where)}};
        membership.library = checkProducts(strings(entry, QStringLiteral("library"), where), where);
        catalogue.memberships.append(std::move(membership));
    }
    catalogue.purchases = checkProducts(strings(root, QStringLiteral("purchases"), path), QStringLiteral("purchases"));
    return catalogue;
}

const Membership *Catalogue::membership(const QString &key) const {
    for (const Membership &membership : memberships) {
        if (membership.key == key) {
            return &membership;
        }
    }
    return nullptr;
}

QList<QJsonObject> Catalogue::licenses() const {
    QList<QJsonObject> records;
    for (const Membership &membership : memberships) {
        records.append(membership.license);
    }
    for (const QString &key : purchases) {
        const Product &product = products[key];
        records.append(QJsonObject{{QStringLiteral("productKey"), product.key},
                                   {QStringLiteral("productName"), product.name},
                                   {QStringLiteral("productType"), product.productType}});
    }
    return records;
}

bool Catalogue::entitles(const QString &productKey, const QString &membershipKey) const {
    if (purchases.contains(productKey)) {
        return true;
    }
    for (const Membership &membership : memberships) {
        if ((membershipKey.isEmpty() || membership.key == membershipKey) && membership.library.contains(productKey)) {
            return true;
        }
    }
    return false;
}

} // namespace studio
