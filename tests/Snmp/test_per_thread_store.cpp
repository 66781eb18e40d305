#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "snmp/per_thread_store.h"

namespace {

struct Fixture : ::testing::Test {
  CPmcPerThreadStore store{4096};
  CPmcPerThreadRegistry registry;
  ~Fixture() override { store.free_thread_block(); }
};

using PerThreadStore = Fixture;

const char kFormat[] = "%u.%u.%u.%u";
const std::uint32_t kWords[3] = {7, 8, 9};
const std::uint32_t kLevel = 42;

}  // namespace

TEST_F(PerThreadStore, ThreadsSeeTheirOwnCopies) {
  PerThreadWord counter(nullptr, store, registry);
  *counter.get() = 1;
  std::uint32_t seen_on_other = 99;
  std::thread other([&] {
    seen_on_other = *counter.get();
    *counter.get() = 2;
    store.free_thread_block();
  });
  other.join();
  EXPECT_EQ(seen_on_other, 0u) << "a new thread starts zero-filled";
  EXPECT_EQ(*counter.get(), 1u);
}

TEST_F(PerThreadStore, InitialValuesAfterInitialiseThread) {
  PerThreadBuffer<sizeof kFormat> format(kFormat, store, registry);
  PerThreadWordArray<3> words(kWords, store, registry);
  PerThreadWord level(&kLevel, store, registry);
  PerThreadChar plain(nullptr, store, registry);
  EXPECT_EQ(registry.count(), 3u) << "only variables with an initial value register";
  EXPECT_STREQ(format.get(), kFormat) << "the constructing thread gets its copy at once";

  std::string before, after;
  std::uint32_t w[3] = {}, l = 0;
  std::thread other([&] {
    before.assign(format.get(), sizeof kFormat - 1);
    registry.initialise_thread();
    after = format.get();
    std::memcpy(w, words.get(), sizeof w);
    l = *level.get();
    store.free_thread_block();
  });
  other.join();
  EXPECT_EQ(before, std::string(sizeof kFormat - 1, '\0'));
  EXPECT_EQ(after, kFormat);
  EXPECT_EQ(w[2], 9u);
  EXPECT_EQ(l, 42u);
}

TEST_F(PerThreadStore, FreedBlockComesBackZeroFilled) {
  PerThreadWord level(&kLevel, store, registry);
  EXPECT_EQ(*level.get(), 42u);
  store.free_thread_block();
  EXPECT_EQ(*level.get(), 0u);
  registry.initialise_thread();
  EXPECT_EQ(*level.get(), 42u);
}

TEST_F(PerThreadStore, ReservationsStopShortOfTheBlockEnd) {
  EXPECT_EQ(store.reserve(4000), 0);
  EXPECT_EQ(store.reserve(95), 4000);
  EXPECT_EQ(store.reserve(1), -1) << "4096 would reach the block size";
  EXPECT_EQ(store.reserve(0), 4095);
  PerThreadBuffer<16> no_room(nullptr, store, registry);
  EXPECT_EQ(no_room.offset(), -1);
  EXPECT_EQ(no_room.get(), nullptr);
  EXPECT_EQ(store.address(5000), nullptr);
  EXPECT_EQ(CPmcPerThreadStore::instance().block_size(), 0x40000u);
}
