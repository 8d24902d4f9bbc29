#include "app/ChineseTextFont.h"

#ifdef QUILLON_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace quillon {

std::optional<QString> systemFamilyForChineseText() {
#ifdef QUILLON_FONTCONFIG
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("sans-serif:lang=zh-cn"));
    if (!pattern) {
        return std::nullopt;
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) {
        return std::nullopt;
    }
    std::optional<QString> family;
    FcChar8 *name = nullptr;
    FcLangSet *languages = nullptr;
    // The best match may still lack the language (no Chinese font installed): then the
    // general family and Qt's own fallbacks stay as they are.
    if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch &&
        FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
        FcLangSetHasLang(languages, reinterpret_cast<const FcChar8 *>("zh-cn")) == FcLangEqual) {
        family = QString::fromUtf8(reinterpret_cast<const char *>(name));
    }
    FcPatternDestroy(match);
    return family;
#else
    return std::nullopt;
#endif
}

} // namespace quillon
