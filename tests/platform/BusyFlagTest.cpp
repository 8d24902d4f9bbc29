// The guard of a busy flag, on a small model that records every value its flag is given.
#include "platform/BusyFlag.h"
#include "support/Wait.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace quillon;
using namespace quillon::test;

namespace {

class FlagModel final : public QObject {
public:
    /// The record outlives the model, so what reached a destroyed model would show.
    explicit FlagModel(std::shared_ptr<QList<bool>> record) : m_record(std::move(record)) {}
    void setBusy(const bool &value) {
        m_record->append(value);
        if ((failWhenLowered && !value) || (failWhenRaised && value)) {
            throw std::runtime_error("a listener failed");
        }
    }
    bool failWhenLowered = false;
    bool failWhenRaised = false;

private:
    std::shared_ptr<QList<bool>> m_record;
};

enum class End { normally, throwing, lowering };

/// A run that holds the flag over one wait and then ends as asked.
QCoro::Task<> holdFlag(ModelGuard<FlagModel> model, End end, std::shared_ptr<bool> ended) {
    BusyFlag busy(model, &FlagModel::setBusy);
    auto waiting = sleepFor(std::chrono::milliseconds(1), {});
    co_await waiting;
    *ended = true;
    if (end == End::throwing) {
        throw std::runtime_error("the run failed");
    }
    if (end == End::lowering && model) {
        busy.lower();
        model->setBusy(true); // another run raised it meanwhile: this one's end must leave it up
    }
}

} // namespace

TEST(BusyFlagTest, TheFlagComesDownOnceWhateverEndsTheRun) {
    for (const End end : {End::normally, End::throwing, End::lowering}) {
        auto record = std::make_shared<QList<bool>>();
        FlagModel model(record);
        auto ended = std::make_shared<bool>(false);
        if (end == End::throwing) {
            EXPECT_THROW(run(holdFlag(ModelGuard<FlagModel>(&model), end, ended)), std::runtime_error);
        } else {
            run(holdFlag(ModelGuard<FlagModel>(&model), end, ended));
        }
        EXPECT_TRUE(*ended);
        EXPECT_EQ(*record, end == End::lowering ? (QList<bool>{true, false, true}) : (QList<bool>{true, false}))
            << int(end);
    }
}

TEST(BusyFlagTest, AModelThatWentAwayIsNotTouched) {
    auto record = std::make_shared<QList<bool>>();
    auto model = std::make_unique<FlagModel>(record);
    auto ended = std::make_shared<bool>(false);
    auto running = holdFlag(ModelGuard<FlagModel>(model.get()), End::normally, ended);
    model.reset();
    ASSERT_TRUE(waitUntil([&] { return *ended && running.isReady(); }));
    EXPECT_EQ(*record, QList<bool>{true});

    // Nor is one that was gone before the run began.
    std::unique_ptr<FlagModel> none;
    run(holdFlag(ModelGuard<FlagModel>(none.get()), End::normally, ended));
    EXPECT_EQ(*record, QList<bool>{true});
}

TEST(BusyFlagTest, AListenerFailingAsTheFlagComesDownDoesNotStopTheRunsEnd) {
    auto record = std::make_shared<QList<bool>>();
    FlagModel model(record);
    model.failWhenLowered = true;
    auto ended = std::make_shared<bool>(false);
    run(holdFlag(ModelGuard<FlagModel>(&model), End::normally, ended));
    EXPECT_EQ(*record, (QList<bool>{true, false}));
}

TEST(BusyFlagTest, AFlagWhoseRaisingFailedComesDownAtOnce) {
    auto record = std::make_shared<QList<bool>>();
    FlagModel model(record);
    model.failWhenRaised = true;
    auto ended = std::make_shared<bool>(false);
    EXPECT_THROW(run(holdFlag(ModelGuard<FlagModel>(&model), End::normally, ended)), std::runtime_error);
    EXPECT_FALSE(*ended);
    EXPECT_EQ(*record, (QList<bool>{true, false}));
}
