// The install queue's result lines, and the lines it adds to the location guide: one line
// per item, in Chinese, whatever the failure said in its own words.
#include "InstallRunFixture.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class QueueResultLinesTest : public InstallRunTest {
protected:
    static ActivationInstallAuthorization item(const QString &key) {
        return {key, key + QStringLiteral(" 名称"), QStringLiteral("plugin"), true};
    }
};

} // namespace

TEST_F(QueueResultLinesTest, ACancelledSharedPromptAndAServiceTextOverSeveralLinesGiveOneLineEach) {
    const ScopedEnvironment cancel("QUILLON_OSASCRIPT_CANCEL", "1");
    answer(QStringLiteral("p1"), packageReply(serve(package(QStringLiteral("Vrel One")))));
    answer(QStringLiteral("p2"), packageReply(serve(package(QStringLiteral("Vrel Two")), "/packages/two.pkg")));
    answer(QStringLiteral("p3"), {{QStringLiteral("error"), QStringLiteral("第一行\r\n  第二行\u2028第三行\n")}}, 403);
    ActivationInstallQueue &queue = model->activationInstallQueue();
    queue.reset(item(QStringLiteral("p1")));
    queue.append(item(QStringLiteral("p2")));
    queue.append(item(QStringLiteral("p3")));

    model->activateAndInstall();
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    const QStringList lines{
        QStringLiteral("p1 名称：已取消管理员授权。"),
        QStringLiteral("p2 名称：已取消管理员授权。"),
        QStringLiteral("p3 名称：已激活，安装未完成：第一行 第二行 第三行"),
    };
    EXPECT_EQ(model->activationInstallResults(), lines.join(QLatin1Char('\n')));
    EXPECT_EQ(model->statusMessage(), model->activationInstallResults());
    EXPECT_EQ(model->locationSummary().failures,
              (QStringList{QStringLiteral("p3 名称：第一行 第二行 第三行"), lines[0], lines[1]}));
    EXPECT_FALSE(model->activationInstallFinished());
    EXPECT_EQ(entries(titles()), QStringList());
    EXPECT_EQ(entries(world.paths.temporary), QStringList());
}
