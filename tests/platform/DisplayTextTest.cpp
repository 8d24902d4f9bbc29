#include "platform/DisplayText.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace quillon;
using namespace std::literals;

namespace {
/// The whole literal, NULs included.
QString u(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }
} // namespace

TEST(DisplayText, ASingleLineLosesEveryControlAndDirectionCharacter) {
    // NUL, bell, an escape colour sequence, CR LF, tab, DEL and a C1 control.
    EXPECT_EQ(displayLine(u(u"AB\u0000C\u0007D\u001B[31mE\r\nF\tG\u007FH\u0085I\u009FJ"sv)), u(u"ABCD[31mEFGHIJ"sv));
    // Every bidirectional control, and the line and paragraph separators.
    EXPECT_EQ(displayLine(u(u"gpj\u202E.exe"sv)), u(u"gpj.exe"sv));
    EXPECT_EQ(displayLine(u(u"\u202Aa\u202Bb\u202Cc\u202Dd\u2066e\u2067f\u2068g\u2069h\u200Ei\u200Fj\u061Ck"sv)),
              u(u"abcdefghijk"sv));
    EXPECT_EQ(displayLine(u(u"上\u2028下\u2029段"sv)), u(u"上下段"sv));
}

TEST(DisplayText, ASingleLineKeepsEverythingElse) {
    // Chinese, spaces, markup (shown as text elsewhere), emoji outside the basic plane,
    // and the characters just beside the removed ranges.
    const QString kept = u(u"全站会员 <b>VIP</b> & 🎬 \u00A0\u2027\u202F\u2065\u206A\u061B\u200D"sv);
    EXPECT_EQ(displayLine(kept), kept);
    EXPECT_EQ(displayLine(QString()), QString());
}

TEST(DisplayText, ANoteKeepsItsLineBreaksAsLineFeeds) {
    EXPECT_EQ(displayNote(u(u"一\r\n二\r三\n四\u2028五\u2029六\u000B七\u000C八\u0085九"sv)),
              u(u"一\n二\n三\n四\n五\n六\n七\n八\n九"sv));
    EXPECT_EQ(displayNote(u(u"\r\n\r\n"sv)), u(u"\n\n"sv));
    EXPECT_EQ(displayNote(u(u"\n开头"sv)), u(u"\n开头"sv));
    EXPECT_EQ(displayNote(u(u"a\n\r\nb"sv)), u(u"a\n\nb"sv));
    EXPECT_EQ(displayNote(u(u"a\n\nb\r\rc\r\n\nd"sv)), u(u"a\n\nb\n\nc\n\nd"sv));
}

TEST(DisplayText, ANoteLosesOtherControlAndDirectionCharacters) {
    EXPECT_EQ(displayNote(u(u"解压\u0000密码\u0007：\u001B[0m1234\t\u202Egpj.exe\u2066"sv)), u(u"解压密码：[0m1234gpj.exe"sv));
    const QString kept = u(u"说明 <i>斜体</i> 🎬"sv);
    EXPECT_EQ(displayNote(kept), kept);
}
