// The replay thread on its own: N complete lines give N samples and a cleared run
// flag, also for a file whose last line is cut or that cannot be opened.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "diag/DeviceInput.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

// Replays a file through the thread registry and waits for the run flag to drop.
int replay(const std::string& path, CDiagData& store) {
    std::atomic<uint8_t> run{1};
    auto live = std::make_shared<std::atomic<int>>(0);
    auto* thread = new CDiagFileThread(store, path, run);
    thread->trackWith(live);
    CLPGThreadManager::instance().insert(thread);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((run.load() != 0 || live->load() != 0) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(run.load(), 0) << "the replay must end by itself";
    EXPECT_EQ(live->load(), 0);
    return store.count();
}

std::string line(int n, int injector) {
    return std::to_string(n) + "\t" + std::to_string(injector) + "\t3\t0\t4800\t4800\t100\t20\t0\t0\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
}

} // namespace

TEST(DiagReplay, CompleteLinesBecomeSamplesWithColours) {
    CScratchFolder dir;
    const std::string path = dir.path() + "/r.lpgd";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i <= 500; ++i)
            out << line(i, 1 + i % 9);
        out << "501\t1\t3"; // cut short
    }
    CDiagData store;
    store.add(CDiag()); // an earlier run's sample is cleared
    ASSERT_EQ(replay(path, store), 500);
    std::vector<CDiag> s;
    store.getRange(s, 0, 500);
    EXPECT_EQ(s[0].sampleNo(), 1u);
    EXPECT_EQ(s[0].injector(), 2);
    EXPECT_EQ(s[0].colour(), 0x00C0F0u);
    EXPECT_EQ(s[7].injector(), 9);  // no such injector: no colour
    EXPECT_EQ(s[7].colour(), 0u);
    EXPECT_EQ(s[499].sampleNo(), 500u);
    EXPECT_EQ(s[499].pressure3Code(), 8);
    EXPECT_EQ(CDiagInputThread::failureCount(), 1) << "only the end of the file counted";
}

TEST(DiagReplay, MissingFileClearsStoreAndFlag) {
    CDiagData store;
    store.add(CDiag());
    EXPECT_EQ(replay("/nonexistent/zefirel/none.lpgd", store), 0);
}
