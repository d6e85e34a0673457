// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/ui_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korvane::link {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(5);

TEST(HandOffQueue, RunsWorkerCallsOnTheUiThreadAndWaitsForThem) {
  HandOffQueue ui;
  const auto ui_id = std::this_thread::get_id();
  std::vector<int> order;  // touched only on the UI thread
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 20; ++i) {
        bool ran = false;
        ui.RunOnUi([&] {
          EXPECT_EQ(std::this_thread::get_id(), ui_id);
          order.push_back(w);
          ran = true;
        });
        EXPECT_TRUE(ran);  // RunOnUi returned only after the call finished
      }
      ++finished;
      ui.WakeUi();
    });
  }
  EXPECT_TRUE(ui.ServeUntil([&] { return finished == 3; }, Clock::now() + kDeadline));
  for (auto& t : workers) {
    t.join();
  }
  EXPECT_EQ(order.size(), 60u);
}

TEST(HandOffQueue, RaisesTheCallsExceptionAgainInTheWorker) {
  HandOffQueue ui;
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      ui.RunOnUi([] { throw std::runtime_error("refresh failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    done = true;
    ui.WakeUi();
  });
  EXPECT_TRUE(ui.ServeUntil([&] { return done.load(); }, Clock::now() + kDeadline));
  worker.join();
  EXPECT_EQ(caught, "refresh failed");
}

TEST(HandOffQueue, OnTheUiThreadRunsAtOnce) {
  HandOffQueue ui;
  int calls = 0;
  ui.RunOnUi([&] { ++calls; });
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(ui.RunOnUi([] { throw std::logic_error("x"); }), std::logic_error);
}

TEST(HandOffQueue, ServeUntilGivesUpAtTheDeadline) {
  HandOffQueue ui;
  const auto start = Clock::now();
  EXPECT_FALSE(ui.ServeUntil([] { return false; }, start + std::chrono::milliseconds(30)));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
}

TEST(HandOffQueue, ShutdownReleasesWorkersWithAnError) {
  HandOffQueue ui;
  std::atomic<int> failed{0};
  auto worker = [&] {
    try {
      ui.RunOnUi([] {});
    } catch (const std::runtime_error&) {
      ++failed;
    }
  };
  // Whether the first call is already queued or not, it must not wait for a UI that is gone.
  std::thread before(worker);
  ui.Shutdown();
  before.join();
  std::thread after(worker);
  after.join();
  EXPECT_EQ(failed, 2);
}

#if KORVANE_CONTRACTS
// A stated thread contract that nothing checked would let a hand-off run on a worker unnoticed.
TEST(HandOffQueueDeathTest, DrainOffTheUiThreadStopsWithTheHeadersWords) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  HandOffQueue ui;
  EXPECT_DEATH(std::thread([&] { ui.Drain(); }).join(),
               "contract violated at .*: HandOffQueue::Drain runs on the UI thread");
}
#endif

}  // namespace
}  // namespace korvane::link
