// Conversions from decoded status rows into the public PSW records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device_api/psw_records.h"

using namespace devlink::psw;

namespace {

std::vector<std::uint32_t> oid(const std::string& text) { return parse_oid(text).value(); }

struct CodeCase {
  const char* oid;
  std::int32_t code;
};

}  // namespace

TEST(PswTypeCodes, StorageDeviceAndJobStateTables) {
  const CodeCase storage[] = {
      {"1.3.6.1.2.1.25.2.1.1", 1}, {"1.3.6.1.2.1.25.2.1.4", 4},   {"1.3.6.1.2.1.25.2.1.8", 8},
      {"1.3.6.1.2.1.25.2.1.9", 0}, {"1.3.6.1.2.1.25.2.1.0", 0},   {"1.3.6.1.2.1.25.2.1", 0},
      {"1.3.6.1.2.1.25.2.1.4.1", 0}, {"1.3.6.1.2.1.25.2.2.4", 0},
  };
  for (const auto& c : storage) EXPECT_EQ(storage_type_code(oid(c.oid)), c.code) << c.oid;

  const CodeCase device[] = {
      {"1.3.6.1.2.1.25.3.1.1", 1},        {"1.3.6.1.2.1.25.3.1.6", 6},
      {"1.3.6.1.2.1.25.3.1.7", 0},        {"1.3.6.1.2.1.25.3.1.9", 0},
      {"1.3.6.1.2.1.25.3.1.10", 10},      {"1.3.6.1.2.1.25.3.1.21", 21},
      {"1.3.6.1.2.1.25.3.1.22", 0},       {"1.3.6.1.2.1.25.3.1.5.1", 0},
      {"1.3.6.1.4.1.32473.1.8.52.2.100", 0}, {"1.3.6.1.4.1.32473.1.8.52.2.101", 101},
      {"1.3.6.1.4.1.32473.1.8.52.2.109", 109}, {"1.3.6.1.4.1.32473.1.8.52.2.110", 0},
      {"1.3.6.1.4.1.32473.1.8.52.2.151", 151}, {"1.3.6.1.4.1.32473.1.8.52.2.154", 154},
      {"1.3.6.1.4.1.32473.1.8.52.2.155", 0}, {"1.3.6.1.4.1.32473.1.8.52.2.201", 201},
      {"1.3.6.1.4.1.32473.1.8.52.2.207", 207}, {"1.3.6.1.4.1.32473.1.8.52.2.208", 0},
      {"1.3.6.1.4.1.32473.1.8.52.3.101", 0}, {"1.3.6.1.2.1.25.3.1.101", 0},
  };
  for (const auto& c : device) EXPECT_EQ(device_type_code(oid(c.oid)), c.code) << c.oid;

  const CodeCase job[] = {
      {"1.3.6.1.4.1.32473.1.8.58.2.1", 1},  {"1.3.6.1.4.1.32473.1.8.58.2.12", 12},
      {"1.3.6.1.4.1.32473.1.8.58.2.13", 0}, {"1.3.6.1.4.1.32473.1.8.58.2.0", 0},
      {"1.3.6.1.4.1.32473.1.8.58.3.1", 0},
  };
  for (const auto& c : job) EXPECT_EQ(job_state_code(oid(c.oid)), c.code) << c.oid;

  // Counting every known device type gives 38.
  int known = 0;
  for (std::uint32_t n = 0; n < 300; ++n) {
    auto s = oid("1.3.6.1.2.1.25.3.1");
    s.push_back(n);
    auto p = oid("1.3.6.1.4.1.32473.1.8.52.2");
    p.push_back(n);
    known += (device_type_code(s) != 0) + (device_type_code(p) != 0);
  }
  EXPECT_EQ(known, 38);
}

TEST(PswValues, ErrorStateIsLittleEndianOverTheFirstFourOctets) {
  struct Case {
    std::vector<std::uint8_t> octets;
    std::uint32_t state;
  } cases[] = {
      {{0x80}, 128u},
      {{0x00, 0x80}, 32768u},
      {{}, 0u},
      {{0x01, 0x02, 0x03, 0x04, 0x05}, 0x04030201u},
  };
  for (const auto& c : cases) EXPECT_EQ(error_state(Cell::of_octets(c.octets)), c.state);
  EXPECT_EQ(error_state(Cell{}), 0u);

  const Row rows[] = {{Cell::of_integer(3), Cell::of_octets({0x80})},
                      {Cell::of_integer(5), Cell::of_octets({0x00, 0x80})}};
  const PrinterStatus last = printer_status(rows);
  EXPECT_EQ(last.status, 5);
  EXPECT_EQ(last.error_state, 32768u);
  const PrinterStatus none = printer_status({});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.error_state, 0u);
}

TEST(PswValues, DateTimeFromShortFullAndMissingValues) {
  const PSWDateTime full = date_time(Cell::of_octets({0x07, 0xEA, 12, 10, 15, 58, 7, 3, '+', 1, 0}));
  EXPECT_EQ(full.year, 2026);
  EXPECT_EQ(full.month, 12);
  EXPECT_EQ(full.day, 10);
  EXPECT_EQ(full.hour, 15);
  EXPECT_EQ(full.minutes, 58);
  EXPECT_EQ(full.seconds, 7);

  const PSWDateTime shorter = date_time(Cell::of_octets({0x07, 0xEA, 3}));
  EXPECT_EQ(shorter.year, 2026);
  EXPECT_EQ(shorter.month, 3);
  EXPECT_EQ(shorter.day, 0);
  EXPECT_EQ(shorter.seconds, 0);

  const PSWDateTime missing = date_time(Cell{});
  const PSWDateTime zero{};
  EXPECT_EQ(std::memcmp(&missing, &zero, sizeof zero), 0);
}

TEST(PswValues, TextsAreCutToTheFieldAndZeroPadded) {
  const PSWStorageInfo r = storage_row({Cell::of_oid(oid("1.3.6.1.2.1.25.2.1.4")), Cell::of_integer(4096),
                                        Cell::of_integer(-1), Cell::of_text(std::string(400, 'x'))});
  EXPECT_EQ(r.type, 4);
  EXPECT_EQ(r.allocation_units, 4096);
  EXPECT_EQ(r.size, -1);
  EXPECT_EQ(std::string(r.description), std::string(255, 'x'));
  EXPECT_EQ(r.description[255], '\0');

  PSWOutputTrayInfo o = output_tray_row({Cell::of_integer(3), Cell::of_integer(0), Cell::of_text("Face down")});
  EXPECT_STREQ(o.name, "Face down");
  EXPECT_EQ(o.name[9], '\0');
  EXPECT_EQ(o.name[63], '\0');
  EXPECT_EQ(o.description[0], '\0');  // missing column leaves the field empty
}

TEST(PswRows, InputTrayColumnsLandInTheirFields) {
  Row row;
  for (int i = 0; i < 10; ++i) row.push_back(Cell::of_integer(100 + i));
  for (const char* t : {"A4", "Tray 1", "Cassette", "stationery", "white"}) row.push_back(Cell::of_text(t));
  const PSWInputTrayInfo r = input_tray_row(row);
  EXPECT_EQ(r.type, 100);
  EXPECT_EQ(r.capacity_unit, 106);
  EXPECT_EQ(r.status, 109);
  EXPECT_STREQ(r.media_name, "A4");
  EXPECT_STREQ(r.name, "Tray 1");
  EXPECT_STREQ(r.description, "Cassette");
  EXPECT_STREQ(r.media_type, "stationery");
  EXPECT_STREQ(r.media_color, "white");
}

TEST(PswRows, OnlyTonerSuppliesAreKept) {
  const Row toner = {Cell::of_integer(3), Cell::of_integer(13), Cell::of_integer(100), Cell::of_integer(40),
                     Cell::of_text("Black toner")};
  const Row waste = {Cell::of_integer(4), Cell::of_integer(13), Cell::of_integer(100), Cell::of_integer(-3),
                     Cell::of_text("Waste toner box")};
  int kept = 0;
  for (const Row* r : {&toner, &waste}) {
    if (auto t = toner_row(*r)) {
      ++kept;
      EXPECT_EQ(t->level, 40);
      EXPECT_STREQ(t->description, "Black toner");
    }
  }
  EXPECT_EQ(kept, 1);
  EXPECT_FALSE(toner_row({}).has_value());
}

TEST(PswRows, InputTrayExPrivateColumnPresentShortAndAbsent) {
  std::vector<PSWInputTrayInfoEx> trays(3);
  const Cell two[] = {Cell::of_integer(7), Cell::of_integer(8)};
  EXPECT_EQ(merge_private_input_types(trays, true, two), 3);
  EXPECT_EQ(trays[0].private_type, 7);
  EXPECT_EQ(trays[1].private_type, 8);
  EXPECT_EQ(trays[2].private_type, -1);

  EXPECT_EQ(merge_private_input_types(trays, false, two), 3);
  for (const auto& t : trays) EXPECT_EQ(t.private_type, -1);
  EXPECT_EQ(merge_private_input_types(trays, true, {}), 3);
  for (const auto& t : trays) EXPECT_EQ(t.private_type, -1);

  std::vector<PSWInputTrayInfoEx> none;
  EXPECT_EQ(merge_private_input_types(none, true, two), -1);
}

TEST(PswJobs, ClassesFilterOnTheSeventeenMark) {
  struct Case {
    int job_class;
    std::int32_t j6_9;
    bool kept;
  } cases[] = {{0, 17, true}, {0, 1, true},  {1, 17, false}, {1, 1, true},
               {2, 17, true}, {2, 1, false}, {3, 17, false}, {-1, 1, false}};
  for (const auto& c : cases) EXPECT_EQ(job_class_keeps(c.job_class, c.j6_9), c.kept) << c.job_class << " " << c.j6_9;
}

TEST(PswJobs, LookupOidsForTextsAndCharacterSets) {
  EXPECT_EQ(job_text_oid(Cell::of_integer(4, {2, 9}), 106), "1.3.6.1.4.1.32473.1.8.51.5.1.1.4.2.4.106");
  EXPECT_FALSE(job_text_oid(Cell::of_integer(-4, {2}), 106).has_value());
  EXPECT_FALSE(job_text_oid(Cell::of_integer(4), 106).has_value());
  EXPECT_FALSE(job_text_oid(Cell::of_text("4", {2}), 106).has_value());

  EXPECT_EQ(charset_oid(0, Cell::of_integer(3, {1})), "1.3.6.1.2.1.43.7.1.1.4.1.3");
  EXPECT_EQ(charset_oid(1, Cell::of_integer(2, {5, 1})), "1.3.6.1.4.1.32473.1.8.51.4.1.1.7.5.2");
  EXPECT_FALSE(charset_oid(2, Cell::of_integer(2, {5})).has_value());
  EXPECT_EQ(charset_walk_column(0), "1.3.6.1.2.1.43.5.1.1.2");
  EXPECT_EQ(charset_walk_column(1), "1.3.6.1.4.1.32473.1.8.51.3.1.1.1");
}

TEST(PswJobs, RowCarriesStateNumbersTextsIdentifierAndTimes) {
  const Row row = {
      Cell::of_oid(oid("1.3.6.1.4.1.32473.1.8.58.2.5")),
      Cell::of_integer(17),
      Cell::of_integer(-2),
      Cell::of_integer(0xFFFFFFF0),
      Cell::of_integer(12),
      Cell::of_integer(1, {1}),
      Cell::of_integer(2, {1}),
      Cell::of_integer(3, {1, 2, 'J', 'O', 'B', '0', '0', '0', '0', '1'}),
      Cell::of_text("owner"),
      Cell::of_octets({0x07, 0xEA, 12, 10, 9, 30, 0}),
      Cell{},
      Cell::of_octets({0x07, 0xEA, 12, 10}),
  };
  PSWJobInfo j;
  JobId id;
  ASSERT_EQ(job_row(row, "Printing", "Document.pdf", "alice", j, id), 0);
  EXPECT_EQ(j.state, 5);
  EXPECT_EQ(j.j6_9, 17);
  EXPECT_EQ(j.j6_10, -2);
  EXPECT_EQ(j.j16_5, 0xFFFFFFF0u);
  EXPECT_EQ(j.j16_6, 12u);
  EXPECT_STREQ(j.text_j6_5, "Printing");
  EXPECT_STREQ(j.text_j6_6, "Document.pdf");
  EXPECT_STREQ(j.text_j10_7, "alice");
  EXPECT_STREQ(j.job_id, "JOB00001");
  EXPECT_STREQ(j.j6_3, "owner");
  EXPECT_EQ(j.time_j10_10.hour, 9);
  EXPECT_EQ(j.time_j16_4.year, 0);
  EXPECT_EQ(j.time_j16_7.day, 10);
  EXPECT_EQ(j.time_j16_7.hour, 0);

  Row bad = row;
  bad[7] = Cell::of_integer(3, {1, 2, 'J', 256});
  EXPECT_EQ(job_row(bad, "", "", "", j, id), -401);
  bad[7] = Cell::of_integer(3, {1});
  EXPECT_EQ(job_row(bad, "", "", "", j, id), -401);
}

TEST(PswJobs, CancelAddressesTheJobEvenWhenAZeroByteCutsItsText) {
  EXPECT_EQ(cancel_oid(cancel_identifier("AB", {}).value()), "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.2.65.66");

  // Two jobs whose identifiers share the bytes before a zero: their texts
  // read "AB" and "AC"; cancelling by either text must reach the full
  // identifier of that job, not a two-byte identifier.
  JobId first, second;
  ASSERT_EQ(job_id_from_index(std::vector<std::uint32_t>{1, 2, 'A', 'B', 0, 1, 2, 3, 4, 5}, first), 0);
  ASSERT_EQ(job_id_from_index(std::vector<std::uint32_t>{1, 2, 'A', 'C', 0, 9, 9, 9, 9, 9}, second), 0);
  PSWJobInfo rec;
  Row row(12);
  row[7] = Cell::of_integer(0, {1, 2, 'A', 'B', 0, 1, 2, 3, 4, 5});
  JobId id;
  ASSERT_EQ(job_row(row, "", "", "", rec, id), 0);
  EXPECT_STREQ(rec.job_id, "AB");

  const JobId kept[] = {first, second, JobId{'X', 'Y', 'Z', 'X', 'Y', 'Z', 'X', 'Y'}};
  EXPECT_EQ(cancel_oid(cancel_identifier(rec.job_id, kept).value()),
            "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.65.66.0.1.2.3.4.5");
  EXPECT_EQ(cancel_identifier("AC", kept).value(), second);
  EXPECT_EQ(cancel_identifier("XYZXYZXY", kept).value(), kept[2]);

  // A text standing for two different cut identifiers is refused.
  const JobId twins[] = {JobId{'A', 0, 1, 1, 1, 1, 1, 1}, JobId{'A', 0, 2, 2, 2, 2, 2, 2}};
  EXPECT_FALSE(cancel_identifier("A", twins).has_value());
}

TEST(PswOid, ParseRejectsMalformedText) {
  EXPECT_EQ(oid_text(oid("1.3.6.1")), "1.3.6.1");
  for (const char* bad : {"", ".1", "1.", "1..2", "1.x", "1.99999999999"}) EXPECT_FALSE(parse_oid(bad).has_value()) << bad;
}
