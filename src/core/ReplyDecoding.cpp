#include "core/ReplyDecoding.h"

#include "core/BearerToken.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <type_traits>

namespace quillon {

ReplyDecodingError::ReplyDecodingError(QString key, const QString &problem)
    : m_key(std::move(key)), m_what((m_key.isEmpty() ? problem : m_key + QStringLiteral(": ") + problem).toUtf8()) {}

QString ReplyDecodingError::description() const {
    if (m_key.isEmpty()) {
        return QStringLiteral("服务器返回的数据无法识别");
    }
    return QStringLiteral("服务器返回的数据无法识别（%1）").arg(m_key);
}

namespace {

class ObjectReader;
MemberProduct readMemberProduct(const ObjectReader &r);
ManagerLicense readManagerLicense(const ObjectReader &r);
ManagerUser readManagerUser(const ObjectReader &r);

// Reads the fields of one JSON object; `path` prefixes the keys named in errors so that
// a fault inside a nested record says where it is.
class ObjectReader final {
public:
    ObjectReader(const QJsonObject &object, QString path) : m_object(object), m_path(std::move(path)) {}

    QString string(const QString &key) const { return required(key, &ObjectReader::asString); }
    std::optional<QString> optionalString(const QString &key) const { return optional(key, &ObjectReader::asString); }
    qint64 integer(const QString &key) const { return required(key, &ObjectReader::asInteger); }
    std::optional<qint64> optionalInteger(const QString &key) const { return optional(key, &ObjectReader::asInteger); }
    std::optional<bool> optionalBool(const QString &key) const { return optional(key, &ObjectReader::asBool); }

    template <typename T>
    std::optional<T> optionalRecord(const QString &key) const {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        return record<T>(value, fullKey(key));
    }

    template <typename T>
    std::optional<QList<T>> optionalArray(const QString &key) const {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        if (!value.isArray()) {
            throw ReplyDecodingError(fullKey(key), QStringLiteral("expected an array"));
        }
        const QJsonArray array = value.toArray();
        QList<T> result;
        result.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            result.append(record<T>(array.at(i), fullKey(key) + QStringLiteral("[%1]").arg(i)));
        }
        return result;
    }

private:
    template <typename T>
    static T record(const QJsonValue &value, const QString &path) {
        if (!value.isObject()) {
            throw ReplyDecodingError(path, QStringLiteral("expected an object"));
        }
        return decodeAt<T>(value.toObject(), path);
    }

    template <typename T>
    static T decodeAt(const QJsonObject &object, const QString &path) {
        const ObjectReader reader(object, path);
        if constexpr (std::is_same_v<T, MemberProduct>) {
            return readMemberProduct(reader);
        } else if constexpr (std::is_same_v<T, ManagerLicense>) {
            return readManagerLicense(reader);
        } else {
            static_assert(std::is_same_v<T, ManagerUser>);
            return readManagerUser(reader);
        }
    }

    template <typename R>
    R required(const QString &key, std::optional<R> (*convert)(const QJsonValue &)) const {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull()) {
            throw ReplyDecodingError(fullKey(key), QStringLiteral("missing"));
        }
        std::optional<R> converted = convert(value);
        if (!converted) {
            throw ReplyDecodingError(fullKey(key), QStringLiteral("wrong type"));
        }
        return *converted;
    }

    template <typename R>
    std::optional<R> optional(const QString &key, std::optional<R> (*convert)(const QJsonValue &)) const {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        std::optional<R> converted = convert(value);
        if (!converted) {
            throw ReplyDecodingError(fullKey(key), QStringLiteral("wrong type"));
        }
        return converted;
    }

    static std::optional<QString> asString(const QJsonValue &value) {
        return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
    }

    static std::optional<bool> asBool(const QJsonValue &value) {
        return value.isBool() ? std::optional<bool>(value.toBool()) : std::nullopt;
    }

    // A JSON number with an integral value that fits the integer type (1.0 counts, 1.5 does not).
    static std::optional<qint64> asInteger(const QJsonValue &value) {
        if (!value.isDouble()) {
            return std::nullopt;
        }
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d) {
            return std::nullopt;
        }
        // toInteger answers its default for anything that is not a representable whole
        // number; two different defaults tell "is the default" from "not representable".
        const qint64 first = value.toInteger(0);
        if (first != 0 || value.toInteger(1) == 0) {
            return first;
        }
        return std::nullopt;
    }

    QString fullKey(const QString &key) const { return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key; }

    const QJsonObject &m_object;
    QString m_path;
};

// One function per record: the fields in the order of the record's declaration.
MemberProduct readMemberProduct(const ObjectReader &r) {
    MemberProduct p;
    p.productKey = r.string(QStringLiteral("productKey"));
    p.productName = r.string(QStringLiteral("productName"));
    p.category = r.string(QStringLiteral("category"));
    p.productType = r.string(QStringLiteral("productType"));
    p.effectCount = r.integer(QStringLiteral("effectCount"));
    p.minFcpVersion = r.string(QStringLiteral("minFcpVersion"));
    p.coverUrl = r.string(QStringLiteral("coverUrl"));
    p.description = r.string(QStringLiteral("description"));
    p.deliveryType = r.optionalString(QStringLiteral("deliveryType"));
    p.deliveryStatus = r.optionalString(QStringLiteral("deliveryStatus"));
    p.deliveryActionLabel = r.optionalString(QStringLiteral("deliveryActionLabel"));
    p.resourceVersion = r.optionalString(QStringLiteral("resourceVersion"));
    p.packageVersion = r.optionalString(QStringLiteral("packageVersion"));
    p.updateNotes = r.optionalString(QStringLiteral("updateNotes"));
    p.newUntil = r.optionalString(QStringLiteral("newUntil"));
    p.isNew = r.optionalBool(QStringLiteral("isNew"));
    p.installGroup = r.optionalString(QStringLiteral("installGroup"));
    return p;
}

ManagerLicense readManagerLicense(const ObjectReader &r) {
    ManagerLicense l;
    l.productKey = r.optionalString(QStringLiteral("productKey"));
    l.productName = r.string(QStringLiteral("productName"));
    l.productType = r.optionalString(QStringLiteral("productType"));
    return l;
}

ManagerUser readManagerUser(const ObjectReader &r) {
    ManagerUser u;
    u.nickname = r.optionalString(QStringLiteral("nickname"));
    u.avatarUrl = r.optionalString(QStringLiteral("avatarUrl"));
    return u;
}

ManagerLoginStartResponse readLoginStart(const ObjectReader &r) {
    ManagerLoginStartResponse s;
    s.ticket = r.optionalString(QStringLiteral("ticket"));
    s.authorizeUrl = r.optionalString(QStringLiteral("authorizeUrl"));
    s.expiresIn = r.optionalInteger(QStringLiteral("expiresIn"));
    s.error = r.optionalString(QStringLiteral("error"));
    return s;
}

ManagerLoginStatusResponse readLoginStatus(const ObjectReader &r) {
    ManagerLoginStatusResponse s;
    s.status = r.optionalString(QStringLiteral("status"));
    s.accessToken = r.optionalString(QStringLiteral("accessToken"));
    if (s.accessToken && !isUsableBearerToken(*s.accessToken)) {
        // A token that could not be sent safely is no token: refuse the whole reply.
        throw ReplyDecodingError(QStringLiteral("accessToken"), QStringLiteral("characters a header cannot carry"));
    }
    s.user = r.optionalRecord<ManagerUser>(QStringLiteral("user"));
    s.error = r.optionalString(QStringLiteral("error"));
    return s;
}

ManagerAccountResponse readAccount(const ObjectReader &r) {
    ManagerAccountResponse a;
    a.authenticated = r.optionalBool(QStringLiteral("authenticated"));
    a.user = r.optionalRecord<ManagerUser>(QStringLiteral("user"));
    a.membership = r.optionalRecord<ManagerLicense>(QStringLiteral("membership"));
    a.memberships = r.optionalArray<ManagerLicense>(QStringLiteral("memberships"));
    a.message = r.optionalString(QStringLiteral("message"));
    a.error = r.optionalString(QStringLiteral("error"));
    return a;
}

LibraryResponse readLibrary(const ObjectReader &r) {
    LibraryResponse l;
    l.products = r.optionalArray<MemberProduct>(QStringLiteral("products"));
    l.error = r.optionalString(QStringLiteral("error"));
    return l;
}

DownloadResponse readDownload(const ObjectReader &r) {
    DownloadResponse d;
    d.productKey = r.optionalString(QStringLiteral("productKey"));
    d.productName = r.optionalString(QStringLiteral("productName"));
    d.downloadUrl = r.optionalString(QStringLiteral("downloadUrl"));
    d.productType = r.optionalString(QStringLiteral("productType"));
    d.fileName = r.optionalString(QStringLiteral("fileName"));
    d.deliveryType = r.optionalString(QStringLiteral("deliveryType"));
    d.shareUrl = r.optionalString(QStringLiteral("shareUrl"));
    d.accessCode = r.optionalString(QStringLiteral("accessCode"));
    d.archivePassword = r.optionalString(QStringLiteral("archivePassword"));
    d.partnerActivationCode = r.optionalString(QStringLiteral("partnerActivationCode"));
    d.deliveryNote = r.optionalString(QStringLiteral("deliveryNote"));
    d.resourceVersion = r.optionalString(QStringLiteral("resourceVersion"));
    d.packageVersion = r.optionalString(QStringLiteral("packageVersion"));
    d.updateNotes = r.optionalString(QStringLiteral("updateNotes"));
    d.error = r.optionalString(QStringLiteral("error"));
    return d;
}

} // namespace

template <> MemberProduct decodeRecord<MemberProduct>(const QJsonObject &o) { return readMemberProduct(ObjectReader(o, {})); }
template <> ManagerLicense decodeRecord<ManagerLicense>(const QJsonObject &o) { return readManagerLicense(ObjectReader(o, {})); }
template <> ManagerUser decodeRecord<ManagerUser>(const QJsonObject &o) { return readManagerUser(ObjectReader(o, {})); }
template <> ManagerLoginStartResponse decodeRecord<ManagerLoginStartResponse>(const QJsonObject &o) {
    return readLoginStart(ObjectReader(o, {}));
}
template <> ManagerLoginStatusResponse decodeRecord<ManagerLoginStatusResponse>(const QJsonObject &o) {
    return readLoginStatus(ObjectReader(o, {}));
}
template <> ManagerAccountResponse decodeRecord<ManagerAccountResponse>(const QJsonObject &o) {
    return readAccount(ObjectReader(o, {}));
}
template <> LibraryResponse decodeRecord<LibraryResponse>(const QJsonObject &o) { return readLibrary(ObjectReader(o, {})); }
template <> DownloadResponse decodeRecord<DownloadResponse>(const QJsonObject &o) { return readDownload(ObjectReader(o, {})); }

QJsonObject replyObject(const QByteArray &data) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        throw ReplyDecodingError(QString(), QStringLiteral("not JSON: ") + error.errorString());
    }
    if (!document.isObject()) {
        throw ReplyDecodingError(QString(), QStringLiteral("not a JSON object"));
    }
    return document.object();
}

} // namespace quillon
