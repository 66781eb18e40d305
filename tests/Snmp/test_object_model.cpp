#include <gtest/gtest.h>

#include <new>
#include <string>
#include <thread>
#include <vector>

#include "snmp/object_model.h"
#include "snmp/object_pool.h"

namespace {

PmsOwn<IPmsObjectId> oid(const char* t) { return pms_create_oid_from_string(t, nullptr); }
PmsOwn<IPmsAsnValue> integer(std::int32_t v) { return pms_create_value_from_int(v, kPmsInteger, nullptr); }

PmsOwn<IPmsVarBindList> list_of(int n) {
  auto l = pms_create_var_bind_list(nullptr);
  for (int i = 0; i < n; ++i) {
    auto o = oid("1.3.6.1");
    o->append_arc(static_cast<std::uint32_t>(i));
    EXPECT_EQ(l->append_new(std::move(o), integer(i)), 0);
  }
  return l;
}

std::vector<std::int32_t> statuses(const IPmsVarBindList& l) {
  std::vector<std::int32_t> s;
  for (std::uint32_t i = 0; i < l.count(); ++i) s.push_back(l.get_at(i)->get_status());
  return s;
}

TEST(ObjectModel, BindingWithNullValueHoldsNull) {
  int err = 1;
  auto b = pms_create_var_bind(&err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(b->set(oid("1.3.6.1.2.1.1.5.0"), nullptr), 0);
  ASSERT_NE(b->get_value(), nullptr);
  EXPECT_EQ(b->get_value()->get_tag(), kPmsNull);
  PmsOwn<IPmsObjectId> o;
  b->detach(&o, nullptr);  // the value is released, the OID handed back
  EXPECT_EQ(b->get_oid(), nullptr);
  EXPECT_EQ(b->get_value(), nullptr);
  ASSERT_TRUE(o);
}

TEST(ObjectModel, MarkErrorAndStatuses) {
  auto l = list_of(5);
  l->mark_error(2, 3);
  EXPECT_EQ(statuses(*l), (std::vector<std::int32_t>{100, 100, 2, 100, 100}));
  l->mark_error(5, 0);
  EXPECT_EQ(statuses(*l), (std::vector<std::int32_t>{100, 100, 100, 100, 100}));
  l->set_all_status(0);
  EXPECT_EQ(statuses(*l), (std::vector<std::int32_t>(5, 0)));
}

TEST(ObjectModel, CopyRangeSplitAndOrder) {
  auto l = list_of(3);
  int err = 0;
  EXPECT_EQ(l->copy_range(3, 1, &err), nullptr);
  EXPECT_EQ(err, -2);
  auto tail = l->copy_range(1, 10, &err);
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->count(), 2u);
  EXPECT_EQ(tail->get_at(0)->get_value()->get_int(nullptr), 1);
  auto front = l->split_front(10, &err);
  EXPECT_EQ(front->count(), 3u);
  EXPECT_EQ(l->count(), 0u);
  // Pieces appended in order give back the original list.
  auto again = pms_create_var_bind_list(nullptr);
  auto p1 = front->split_front(1, &err);
  for (auto* piece : {p1.get(), front.get()})
    while (auto b = piece->pop_first()) again->append(std::move(b));
  EXPECT_TRUE(again->equals(list_of(3).get()));
  EXPECT_EQ(again->remove_at(3, nullptr), -2);
  PmsOwn<IPmsVarBind> removed;
  EXPECT_EQ(again->remove_at(1, &removed), 0);
  EXPECT_EQ(removed->get_value()->get_int(nullptr), 1);
  EXPECT_EQ(again->insert_front_new(nullptr, nullptr), -2);
  again->insert_front(std::move(removed));
  EXPECT_EQ(again->get_at(0)->get_value()->get_int(nullptr), 1);
}

TEST(ObjectModel, PduCopyCompareAndTrapFields) {
  int err = 0;
  auto pdu = pms_create_pdu(&err);
  EXPECT_EQ(pdu->get_type(), kPduNone);
  EXPECT_FALSE(pdu->equals(pdu.get()));  // type none never equals
  pdu->set_type(kPduGet);
  pdu->set_request_id(77);
  pdu->append_new(oid("1.3.6.1.2.1.1.1.0"), nullptr);
  auto copy = pdu->clone(&err);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->equals(pdu.get()));
  copy->set_error_index(1);
  EXPECT_FALSE(copy->equals(pdu.get()));

  auto ts = pms_create_value_from_uint(100, kPmsTimeTicks, nullptr);
  auto gauge = pms_create_value_from_uint(5, kPmsGauge32, nullptr);
  EXPECT_EQ(pdu->set_trap_time_stamp(ts), 0);
  EXPECT_FALSE(ts);
  EXPECT_EQ(pdu->set_trap_time_stamp(gauge), -2);
  EXPECT_TRUE(gauge);  // refused: still the caller's
  EXPECT_EQ(pdu->get_trap_time_stamp()->get_uint(nullptr), 100u);
  auto trap = pms_as_value(oid("1.3.6.1.6.3.1.1.5.1"));
  EXPECT_EQ(pdu->set_trap_oid(trap), 0);
  auto copy2 = pms_create_pdu(nullptr);
  copy2->copy_header(pdu.get());
  EXPECT_TRUE(copy2->get_trap_oid()->equals(pdu->get_trap_oid()));
  EXPECT_EQ(copy2->get_var_bind_list(), nullptr);
  pdu->clear();
  EXPECT_EQ(pdu->get_error_status(), -1);
  EXPECT_EQ(pdu->get_var_bind_list(), nullptr);
}

TEST(ObjectModel, Targets) {
  int err = 0;
  auto a = pms_create_community_target(&err);
  EXPECT_EQ(a->get_version(), -1);
  EXPECT_EQ(a->get_timeout(), -1);
  EXPECT_EQ(a->as_community()->get_community(), nullptr);
  a->as_community()->set_community("public");
  a->set_version(kSnmpV2c);
  a->set_retries(2);
  auto b = a->clone(&err);
  ASSERT_TRUE(b);
  EXPECT_STREQ(b->as_community()->get_community(), "public");
  EXPECT_EQ(b->get_retries(), 2);
  b->set_timeout(5);  // common fields do not take part in equality
  EXPECT_TRUE(a->equals(b.get()));
  b->as_community()->set_community("private");
  EXPECT_FALSE(a->equals(b.get()));
  EXPECT_EQ(a->query(2), static_cast<void*>(a->as_community()));
  EXPECT_EQ(a->query(4), nullptr);

  auto u = pms_create_usm_target(&err);
  IPmsUsm* usm = u->as_usm();
  EXPECT_EQ(usm->set_security_name(std::string(33, 'n').c_str()), -2);
  EXPECT_EQ(usm->set_security_name(std::string(32, 'n').c_str()), 0);
  usm->set_engine_id("\x80\0\x1f\x88", 4);
  usm->set_auth_pass_phrase("secret12");
  auto u2 = u->clone(&err);
  ASSERT_TRUE(u2);
  EXPECT_TRUE(u->equals(u2.get()));
  EXPECT_EQ(u2->as_usm()->get_engine_id()->length(), 4u);
  EXPECT_FALSE(u->equals(a.get()));
  EXPECT_EQ(u->copy_from(a.get()), -2);
  EXPECT_EQ(u->security_model(), 1);
  int kinderr = 0;
  EXPECT_EQ(pms_create_target(1, &kinderr), nullptr);
  EXPECT_EQ(kinderr, -2);
}

TEST(ObjectModel, PacketCloneAndLists) {
  int err = 0;
  auto packet = pms_create_snmp_packet(&err);
  packet->set_pdu(pms_create_pdu(nullptr));
  packet->get_pdu()->set_type(kPduGetNext);
  packet->set_target(pms_create_community_target(nullptr));
  auto copy = packet->clone(&err);
  EXPECT_TRUE(copy->equals(packet.get()));

  auto packets = pms_create_snmp_packet_list(&err);
  EXPECT_EQ(packets->push_back(nullptr), -2);
  packets->push_back(std::move(packet));
  packets->push_front(std::move(copy));
  packets->push_back(pms_create_snmp_packet(nullptr));
  EXPECT_EQ(packets->count(), 3u);
  auto it = packets->create_iterator(&err);
  IPmsSnmpPacket* first = packets->current(it.get());
  ASSERT_NE(first, nullptr);
  PmsOwn<IPmsSnmpPacket> taken = packets->erase(it.get());  // element survives the erase
  EXPECT_EQ(taken.get(), first);
  EXPECT_EQ(packets->count(), 2u);
  packets->next(it.get());
  packets->next(it.get());
  EXPECT_EQ(packets->current(it.get()), nullptr);
  packets->next(it.get());  // stays at the end
  EXPECT_EQ(packets->current(it.get()), nullptr);
  packets->rewind(it.get());
  EXPECT_NE(packets->current(it.get()), nullptr);
  packets->release_iterator(it.release());
  packets->release_iterator(nullptr);
  EXPECT_EQ(packets->self(), packets.get());
  packets->pop_back();
  packets->pop_front();
  EXPECT_EQ(packets->pop_front(), 0);
  EXPECT_EQ(packets->count(), 0u);

  auto rows = pms_create_row_list(&err);
  rows->push_back(list_of(2));
  rows->push_back(list_of(1));
  auto other_it = pms_create_snmp_packet_list(nullptr)->create_iterator(nullptr);
  EXPECT_EQ(rows->current(other_it.get()), nullptr);  // a foreign iterator is ignored
}

}  // namespace

namespace {

// A pooled class of its own size, so that no other object shares its list.
struct PooledBlock : pms::PmsPooled<PooledBlock> {
  char bytes[200];
};
using BlockList = pms::FreeList<sizeof(PooledBlock)>;

}  // namespace

// Released objects wait in the releasing thread's list, up to its depth,
// and the next object of that size takes the last one released; a thread's
// list goes back to the heap when the thread ends.
TEST(ObjectPool, ReleasedBlocksAreReusedPerThread) {
  ASSERT_EQ(BlockList::held(), 0u);
  auto* a = new PooledBlock;
  delete a;
  EXPECT_EQ(BlockList::held(), 1u);
#ifdef PMS_POOL_POISON
  EXPECT_TRUE(__asan_address_is_poisoned(a));
#endif
  auto* b = new (std::nothrow) PooledBlock;
  EXPECT_EQ(static_cast<void*>(b), static_cast<void*>(a));
  EXPECT_EQ(BlockList::held(), 0u);
  delete b;

  std::vector<PooledBlock*> many(pms::kPmsPoolDepth + 10);
  for (auto*& p : many) p = new PooledBlock;
  for (auto* p : many) delete p;
  EXPECT_EQ(BlockList::held(), pms::kPmsPoolDepth);

  // Blocks made here and released on another thread fill that thread's
  // list, which is freed when it ends; this thread's list is untouched.
  std::vector<PooledBlock*> given(20);
  for (auto*& p : given) p = new PooledBlock;
  const std::size_t here = BlockList::held();
  std::thread([&] {
    EXPECT_EQ(BlockList::held(), 0u);
    for (auto* p : given) delete p;
    EXPECT_EQ(BlockList::held(), given.size());
  }).join();
  EXPECT_EQ(BlockList::held(), here);
}
