#include "peers/tools/ZrMainThreadMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

// Records each message it is handed, with the thread it arrived on.
class Receiver final : public IMainThreadMessageManagerCallback {
 public:
  bool MainThreadMessage(uint32_t id, void* data) override {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    ids.push_back(id);
    datas.push_back(data);
    threads.push_back(GetCurrentThreadId());
    if (onMessage) onMessage(id);
    return true;
  }
  std::vector<uint32_t> ids;
  std::vector<void*> datas;
  std::vector<DWORD> threads;
  std::function<void(uint32_t)> onMessage;

 private:
  std::recursive_mutex m_lock;
};

class ZrMainThreadMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(manager.Create(GetModuleHandleW(nullptr))); }
  ZrMainThreadMessages manager;
};

TEST_F(ZrMainThreadMessagesTest, PostsFromWorkersArriveOnTheCreatingThreadInOrder) {
  Receiver receivers[3];
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&, w] {
      for (uint32_t i = 0; i < 200; ++i) EXPECT_TRUE(manager.Post(&receivers[w], i, &receivers[w]));
    });
  for (auto& t : workers) t.join();
  ASSERT_TRUE(ZR_PUMP_UNTIL(receivers[0].ids.size() == 200 && receivers[1].ids.size() == 200 &&
                            receivers[2].ids.size() == 200));
  for (auto& r : receivers) {
    ASSERT_EQ(r.ids.size(), 200u);
    for (uint32_t i = 0; i < 200; ++i) {
      EXPECT_EQ(r.ids[i], i);
      EXPECT_EQ(r.datas[i], &r);
      EXPECT_EQ(r.threads[i], GetCurrentThreadId());
    }
  }
  EXPECT_EQ(manager.PendingCount(), 0);
}

TEST_F(ZrMainThreadMessagesTest, ForgottenMessagesNeverArrive) {
  Receiver forgotten, kept;
  std::thread worker([&] {
    for (uint32_t i = 0; i < 5; ++i) {
      manager.Post(&forgotten, i, nullptr);
      manager.Post(&kept, i, nullptr);
    }
  });
  worker.join();
  manager.Forget(&forgotten);
  EXPECT_EQ(manager.PendingCount(), 5);
  EXPECT_TRUE(ZR_PUMP_UNTIL(kept.ids.size() == 5));
  zrtest::PumpPending();
  EXPECT_TRUE(forgotten.ids.empty());
  EXPECT_EQ(kept.ids.size(), 5u);
  EXPECT_EQ(manager.PendingCount(), 0);
}

TEST_F(ZrMainThreadMessagesTest, FlushDeliversOneObjectsMessagesNow) {
  Receiver flushed, other;
  manager.Post(&other, 7, nullptr);
  manager.Post(&flushed, 1, nullptr);
  manager.Post(&flushed, 2, nullptr);
  EXPECT_TRUE(manager.Flush(&flushed));
  EXPECT_EQ(flushed.ids, (std::vector<uint32_t>{1, 2}));
  EXPECT_TRUE(other.ids.empty());
  // The wake-ups left behind find nothing more for the flushed object.
  EXPECT_TRUE(ZR_PUMP_UNTIL(other.ids.size() == 1));
  zrtest::PumpPending();
  EXPECT_EQ(flushed.ids.size(), 2u);
  EXPECT_EQ(other.ids, (std::vector<uint32_t>{7}));
  EXPECT_EQ(manager.PendingCount(), 0);
}

TEST_F(ZrMainThreadMessagesTest, ForgetWaitsForADeliveryUnderWayOnTheMainThread) {
  Receiver receiver;
  std::atomic<bool> inDelivery{false}, forgetCalled{false}, forgetReturned{false}, deliveryDone{false};
  std::atomic<bool> forgetReturnedEarly{false};
  receiver.onMessage = [&](uint32_t) {
    inDelivery = true;
    // The delivery lasts until the worker is inside Forget, and a while longer: a Forget that does
    // not wait for the delivery returns within that while.
    EXPECT_TRUE(ZR_WAIT_UNTIL(forgetCalled.load()));
    zrtest::WaitUntil([&] { return forgetReturned.load(); }, 150);
    forgetReturnedEarly = forgetReturned.load();
    deliveryDone = true;
  };
  std::thread worker([&] {
    manager.Post(&receiver, 1, nullptr);
    if (!ZR_WAIT_UNTIL(inDelivery.load())) {
      ADD_FAILURE() << "the message was never delivered";
      return;
    }
    forgetCalled = true;
    manager.Forget(&receiver);
    forgetReturned = true;
    EXPECT_TRUE(deliveryDone.load()) << "Forget returned while the object was still being called";
  });
  EXPECT_TRUE(ZR_PUMP_UNTIL(forgetReturned.load()));
  worker.join();
  EXPECT_FALSE(forgetReturnedEarly.load());
  EXPECT_EQ(receiver.ids.size(), 1u);
}

TEST_F(ZrMainThreadMessagesTest, AnObjectMayForgetItselfWhileItIsCalled) {
  Receiver receiver;
  receiver.onMessage = [&](uint32_t) { manager.Forget(&receiver); };
  for (uint32_t i = 0; i < 3; ++i) manager.Post(&receiver, i, nullptr);
  EXPECT_TRUE(ZR_PUMP_UNTIL(!receiver.ids.empty()));
  // The wake-ups of the two forgotten messages are still on their way.
  zrtest::PumpFor(50);
  EXPECT_EQ(receiver.ids, (std::vector<uint32_t>{0}));
  EXPECT_EQ(manager.PendingCount(), 0);
}

TEST(ZrMainThreadMessages, NothingIsQueuedWithoutAWindowOrAnObject) {
  ZrMainThreadMessages manager;
  Receiver receiver;
  EXPECT_FALSE(manager.Post(&receiver, 1, nullptr));
  ASSERT_TRUE(manager.Create(GetModuleHandleW(nullptr)));
  EXPECT_FALSE(manager.Post(nullptr, 1, nullptr));
  EXPECT_TRUE(manager.Post(&receiver, 2, nullptr));
  manager.Destroy();
  EXPECT_EQ(manager.PendingCount(), 0);
  EXPECT_FALSE(manager.Post(&receiver, 3, nullptr));
  zrtest::PumpFor(50);
  EXPECT_TRUE(receiver.ids.empty());
}

}  // namespace
