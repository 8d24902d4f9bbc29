#pragma once
// The sign-in token kept across runs: one file, readable only by the user, holding the
// token's UTF-8 bytes and nothing else. No operation reports an error: a token that
// cannot be saved lives for this run only.

#include <QString>

#include <optional>

namespace quillon {

class ManagerSessionStore final {
public:
    /// `applicationSupport` is the user's Application Support folder ("" when the platform has none).
    explicit ManagerSessionStore(QString applicationSupport);

    /// <Application Support>/Quillon/manager-session, or absent without an Application Support folder.
    std::optional<QString> fileURL() const;

    /// Writes the token: the folder narrowed to 0700, the file replaced atomically by one
    /// that is 0600 from the moment it exists. Stops silently at the first failure.
    void saveManagerToken(const QString &token) const;

    /// Removes the file if there is one; a failure is ignored.
    void deleteManagerToken() const;

    /// The stored token trimmed of white space and line breaks; absent when there is no
    /// file, it cannot be read, it is not UTF-8 or nothing is left after trimming.
    std::optional<QString> readManagerToken() const;

private:
    QString m_applicationSupport;
};

} // namespace quillon
