#include "common/snp_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/record_reference.hpp"
#include "support/scratch.hpp"

namespace gp {
namespace {

struct SnpFilesRun {
  int status;
  std::string errors;
  std::string setup;
  std::string data;
};

// Runs `body` as a program in a fresh directory and returns the two files.
SnpFilesRun run_in_scratch(const std::function<void(Units&)>& body) {
  const test::ScratchDir dir("snp_files");
  ConsoleCapture console;
  Units io(&console, dir.path());
  const int status = run_program(io, [&] { body(io); });
  return {status, console.errors, test::read_file(dir.at(kSetupFile)), test::read_file(dir.at(kDataFile))};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

std::vector<float> ramp(int32_t n, float first, float step) {
  std::vector<float> values(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) values[static_cast<size_t>(i)] = first + step * static_cast<float>(i);
  return values;
}

TEST(WriteSetup, SectionsTakeTenValuesPerLine) {
  struct Case {
    int32_t n_snp;
    size_t value_lines;  // per array
    std::string last_frequency_line;
  };
  const Case cases[] = {
      {12, 2, " 0.11 0.12"},
      {10, 1, " 0.01 0.02 0.03 0.04 0.05 0.06 0.07 0.08 0.09 0.10"},
      {0, 1, ""},
      {25, 3, " 0.21 0.22 0.23 0.24 0.25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n_snp);
    const std::vector<float> freq = ramp(c.n_snp, 0.01f, 0.01f);
    const std::vector<float> val = ramp(c.n_snp, -1.5f, 0.25f);
    const SnpFilesRun run = run_in_scratch([&](Units& io) {
      write_setup(io, {c.n_snp, 3, 100, 0, 2.0f, 3.0f, 12.5f, freq, val});
    });
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> lines = lines_of(run.setup);
    ASSERT_EQ(lines.size(), 6 + 2 * c.value_lines);
    EXPECT_EQ(lines[0], " n_snp  n_qtl nrec nprog nrec");
    char counts[48];
    std::snprintf(counts, sizeof counts, "%8d       3     100       0     100", c.n_snp);
    EXPECT_EQ(lines[1], counts);
    EXPECT_EQ(lines[2], " var_a,var_e, sim_var ");
    EXPECT_EQ(lines[3], "      2.00      3.00     12.50");
    EXPECT_EQ(lines[4], " snp_freq");
    EXPECT_EQ(lines[4 + c.value_lines], c.last_frequency_line);
    EXPECT_EQ(lines[5 + c.value_lines], " snp_val");
    if (c.n_snp > 0) {
      EXPECT_EQ(lines[6 + c.value_lines].substr(0, 16), "   -1.50   -1.25");
    }
    EXPECT_EQ(lines.back().size(), c.n_snp == 0 ? 0u : 8u * ((c.n_snp - 1) % 10 + 1));
  }
}

TEST(WriteDataRecord, LineEndsAfterTheLastAlleleDigit) {
  struct Case {
    float y, s_bv;
    std::vector<int32_t> geno;
    std::string line;
  };
  const Case cases[] = {
      {12.34f, 3.5f, {1, 2, 2, 2, 1, 1}, "     1    12.34    3.50 122211"},
      {-0.001f, -9999.99f, {}, "     1     0.00-9999.99"},
      {99999.99f, 0.125f, {2, 2}, "     1 99999.99    0.13 22"},
  };
  for (const Case& c : cases) {
    const Layout layout = data_layout(static_cast<int32_t>(c.geno.size() / 2));
    const SnpFilesRun run = run_in_scratch([&](Units& io) {
      open_unit(io, kDataUnit, kDataFile);
      test::write_data_record(io, layout, 1, c.y, c.s_bv, c.geno);
    });
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.data, c.line + "\r\n");
  }
}

// What would print as asterisks, NaN or INF stops the run at that record.
TEST(WriteDataRecord, ValuesThatCannotBeReadBackStopTheRun) {
  struct Case {
    float y, s_bv;
    const char* message;
  };
  const Case cases[] = {
      {123456.7f, 0.0f, "SNP_data record 2: y = 123456.7 does not fit its field F8.2 and could not be read back"},
      {-10000.0f, 0.0f, "SNP_data record 2: y = -10000 does not fit its field F8.2 and could not be read back"},
      {-9999.996f, 0.0f, "SNP_data record 2: y = -9999.9961 does not fit its field F8.2 and could not be read back"},
      {1.0f, NAN, "SNP_data record 2: s_bv = nan does not fit its field F8.2 and could not be read back"},
      {1.0f, -INFINITY, "SNP_data record 2: s_bv = -inf does not fit its field F8.2 and could not be read back"},
      {INFINITY, 0.0f, "SNP_data record 2: y = inf does not fit its field F8.2 and could not be read back"},
  };
  const std::vector<int32_t> geno = {1, 2};
  for (const Case& c : cases) {
    const Layout layout = data_layout(1);
    const SnpFilesRun run = run_in_scratch([&](Units& io) {
      open_unit(io, kDataUnit, kDataFile);
      test::write_data_record(io, layout, 1, 5.0f, 1.0f, geno);
      test::write_data_record(io, layout, 2, c.y, c.s_bv, geno);
    });
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.errors, std::string("? Input Error:\r\n? ") + c.message + "\r\n? WRITE(UNIT=2,...\n");
    EXPECT_EQ(run.data, "     1     5.00    1.00 12\r\n") << "the record before stays";
  }
}

struct RecordValues {
  int32_t rec_id;
  float y, s_bv;
};

// Writes `records` with the allele codes of record r at index (i + r) % 3
// taken from {1, 2, 2}, through write_data_record (reference) or DataLines.
SnpFilesRun write_records(int32_t n_snp, const std::vector<RecordValues>& records, bool reference) {
  return run_in_scratch([&](Units& io) {
    open_unit(io, kDataUnit, kDataFile);
    const Layout layout = data_layout(n_snp);
    DataLines lines = make_data_lines(io, n_snp);
    std::vector<int32_t> geno(2 * static_cast<size_t>(std::max(n_snp, 0)));
    for (size_t r = 0; r < records.size(); ++r) {
      for (size_t i = 0; i < geno.size(); ++i) geno[i] = (i + r) % 3 == 0 ? 1 : 2;
      const RecordValues& d = records[r];
      if (reference) {
        test::write_data_record(io, layout, d.rec_id, d.y, d.s_bv, geno);
      } else {
        char* digits = allele_digits(lines);
        for (size_t i = 0; i < geno.size(); ++i) digits[i] = static_cast<char>('0' + geno[i]);
        write_data_line(io, lines, d.rec_id, d.y, d.s_bv);
      }
    }
    flush_data_lines(io, lines);
  });
}

// Batches of lines against one statement per record: the same bytes, over
// several batches, and the same report and file when a value cannot be
// written (the lines of the unfinished batch before it are in the file).
TEST(DataLines, SameFileAndReportsAsWriteDataRecord) {
  const float values[] = {12.34f, -0.001f, 0.125f, 2.675f, 99999.99f, -9999.99f, 0.005f, 7.0f, -42.5f, 1e-30f};
  const float nan = NAN, inf = INFINITY;
  struct Failure {
    int32_t first_id;
    float y, s_bv;
  };
  const Failure failures[] = {{1, 0.0f, 0.0f},         {1, 123456.7f, 0.0f}, {1, 0.0f, nan},
                              {1, -inf, 0.0f},          {999990, 1.0f, 2.0f}, {-99998, 1.0f, 2.0f}};
  for (int32_t n_snp : {-3, 0, 1, 3, 10000, 10001, 60000}) {
    const DataLines shape = [&] {
      Units io;
      return make_data_lines(io, n_snp);
    }();
    const size_t count = 2 * shape.batch_lines + 3;
    for (const Failure& f : failures) {
      SCOPED_TRACE(::testing::Message() << n_snp << " SNPs, records from " << f.first_id << ", last y " << f.y);
      std::vector<RecordValues> records;
      for (size_t r = 0; r < count; ++r) {
        records.push_back({f.first_id + static_cast<int32_t>(r), values[r % 10], -values[(r + 3) % 10]});
      }
      records.back().y = f.y == 0.0f ? records.back().y : f.y;
      records.back().s_bv = f.s_bv == 0.0f ? records.back().s_bv : f.s_bv;
      const SnpFilesRun expected = write_records(n_snp, records, true);
      const SnpFilesRun got = write_records(n_snp, records, false);
      EXPECT_EQ(got.status, expected.status);
      EXPECT_EQ(got.errors, expected.errors);
      EXPECT_EQ(got.data.size(), expected.data.size());
      EXPECT_TRUE(got.data == expected.data);
    }
  }
}

TEST(DataLayout, StandardUpToTenThousandSnpsAndGrownBeyond) {
  for (auto [n_snp, digits] : {std::pair{0, 20000}, {12, 20000}, {10000, 20000}, {10001, 20002}, {50000, 100000}}) {
    const Layout layout = data_layout(n_snp);
    ASSERT_FALSE(layout.items.empty());
    EXPECT_EQ(layout.items.back().kind, LayoutItem::Kind::Int);
    EXPECT_EQ(layout.items.back().repeat, digits) << n_snp;
    EXPECT_EQ(layout.items.back().width, 1);
  }
}

// Records written and read back with the same layout: the record number,
// y and s_bv rounded to two decimals, and every allele digit on one line.
TEST(DataRecords, ReadBackWhatWasWritten) {
  for (int32_t n_snp : {0, 3, 10000, 10001, 25000}) {
    SCOPED_TRACE(n_snp);
    const Layout layout = data_layout(n_snp);
    std::vector<int32_t> geno(2 * static_cast<size_t>(n_snp));
    for (size_t i = 0; i < geno.size(); ++i) geno[i] = (i * 7 + i / 3) % 3 == 0 ? 2 : 1;
    const float ys[] = {12.345f, -9999.99f, 0.004f};
    std::vector<int32_t> back(geno.size());
    int32_t rec_id = 0;
    float y = 0, s_bv = 0;
    const SnpFilesRun run = run_in_scratch([&](Units& io) {
      open_unit(io, kDataUnit, kDataFile);
      for (int32_t r = 0; r < 3; ++r) test::write_data_record(io, layout, r + 1, ys[r], -ys[r] / 2, geno);
      rewind_unit(io, kDataUnit);
      for (int32_t r = 0; r < 3; ++r) {
        std::fill(back.begin(), back.end(), 0);
        test::read_data_record(io, layout, rec_id, y, s_bv, back);
        EXPECT_EQ(rec_id, r + 1);
        EXPECT_NEAR(y, ys[r], 0.0051f);
        EXPECT_NEAR(s_bv, -ys[r] / 2, 0.0051f);
        EXPECT_EQ(back, geno) << "record " << r + 1;
      }
    });
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> lines = lines_of(run.data);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), n_snp == 0 ? 23u : 24u + 2u * static_cast<size_t>(n_snp));
  }
}

}  // namespace
}  // namespace gp
