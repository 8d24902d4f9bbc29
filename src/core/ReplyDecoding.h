#pragma once
// Strict decoding of the account service's replies into the records of ReplyRecords.h:
// every field by its exact name and JSON type, optional fields missing or null become
// absent, unknown keys are ignored, and the first error fails the whole reply.

#include "platform/Failure.h"
#include "records/ReplyRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>


namespace quillon {

/// A reply that is not a JSON object of the expected shape. `key()` names the field
/// (with its path inside nested records and arrays) that stopped the decoding.
class ReplyDecodingError final : public UserFacingError {
public:
    ReplyDecodingError(QString key, const QString &problem);
    const QString &key() const { return m_key; }

    QString description() const override;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_key;
    QByteArray m_what;
};

/// Decodes one record from a JSON object; throws ReplyDecodingError.
template <typename T>
T decodeRecord(const QJsonObject &object);

template <> MemberProduct decodeRecord<MemberProduct>(const QJsonObject &object);
template <> ManagerLicense decodeRecord<ManagerLicense>(const QJsonObject &object);
template <> ManagerUser decodeRecord<ManagerUser>(const QJsonObject &object);
template <> ManagerLoginStartResponse decodeRecord<ManagerLoginStartResponse>(const QJsonObject &object);
template <> ManagerLoginStatusResponse decodeRecord<ManagerLoginStatusResponse>(const QJsonObject &object);
template <> ManagerAccountResponse decodeRecord<ManagerAccountResponse>(const QJsonObject &object);
template <> LibraryResponse decodeRecord<LibraryResponse>(const QJsonObject &object);
template <> DownloadResponse decodeRecord<DownloadResponse>(const QJsonObject &object);

/// The top-level JSON object of a reply body; throws ReplyDecodingError when the bytes
/// are not JSON (including invalid UTF-8) or not an object.
QJsonObject replyObject(const QByteArray &data);

/// Decodes a whole reply body into `T`; throws ReplyDecodingError.
template <typename T>
T decodeReply(const QByteArray &data) {
    return decodeRecord<T>(replyObject(data));
}

} // namespace quillon
