// run_once through the system's one-time initialisation (where offered) and through the
// spinning fallback, with one caller and with several threads racing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/once.h"

static std::atomic<int> calls;
static std::atomic<int> finished;

static void count_call(void) { calls++; }

static void slow_routine(void) {
    calls++;
    Sleep(50);
    finished++;
}

typedef void (*OnceEntry)(OnceFlag*, OnceRoutine);

class RunOnce : public testing::TestWithParam<OnceEntry> {
  protected:
    void SetUp() override {
        calls = 0;
        finished = 0;
    }
};

TEST_P(RunOnce, SecondCallDoesNotRunTheRoutine) {
    OnceFlag flag = 0;
    GetParam()(&flag, count_call);
    EXPECT_EQ(calls, 1);
    GetParam()(&flag, count_call);
    GetParam()(&flag, count_call);
    EXPECT_EQ(calls, 1);
}

TEST_P(RunOnce, SeparateFlagsRunSeparately) {
    OnceFlag first = 0, second = 0;
    GetParam()(&first, count_call);
    GetParam()(&second, count_call);
    EXPECT_EQ(calls, 2);
}

TEST_P(RunOnce, EveryCallerReturnsOnlyAfterTheRoutineCompleted) {
    OnceFlag flag = 0;
    OnceEntry entry = GetParam();
    std::atomic<int> early_returns(0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; i++)
        threads.emplace_back([&] {
            entry(&flag, slow_routine);
            if (finished != 1) early_returns++;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(early_returns, 0);
}

INSTANTIATE_TEST_SUITE_P(SystemOrFallback, RunOnce, testing::Values(run_once));
INSTANTIATE_TEST_SUITE_P(Spin, RunOnce, testing::Values(run_once_spin));

TEST(RunOnceSpin, FlagEndsDone) {
    OnceFlag flag = 0;
    run_once_spin(&flag, count_call);
    EXPECT_EQ(flag, ONCE_DONE);
}

TEST(RunOnceSpin, DoneFlagReturnsAtOnce) {
    calls = 0;
    OnceFlag flag = ONCE_DONE;
    run_once_spin(&flag, count_call);
    EXPECT_EQ(calls, 0);
}
