#include "core/BearerToken.h"

namespace quillon {

bool isUsableBearerToken(QStringView token) {
    for (const QChar c : token) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) {
            return false;
        }
    }
    return true;
}

} // namespace quillon
