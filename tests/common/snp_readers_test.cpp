// The shared readers of SNP_setup and SNP_data: what they give, what they
// refuse and how the refusal reads, the columns they cut against the layout
// text, and the block line reader under them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/format.hpp"
#include "common/line_reader.hpp"
#include "common/snp_files.hpp"
#include "common/text_io_fixtures.hpp"

namespace gp {
namespace {

using text_test::ScratchDir;

// Columns of the SNP_data layout text, found by walking its items.
struct LayoutColumns {
  size_t number_width = 0, y_column = 0, s_bv_column = 0, real_width = 0, first_digit = 0;
  int decimals = 0;
};

LayoutColumns columns_of(const Layout& layout) {
  LayoutColumns columns;
  size_t column = 0;
  for (const LayoutItem& item : layout.items) {
    const size_t width = static_cast<size_t>(item.width);
    if (item.kind == LayoutItem::Kind::Int && width == 1) {
      columns.first_digit = column;
      break;
    }
    if (item.kind == LayoutItem::Kind::Int) columns.number_width = width;
    if (item.kind == LayoutItem::Kind::Fixed) {
      columns.y_column = column;
      columns.s_bv_column = column + width;
      columns.real_width = width;
      columns.decimals = item.decimals;
    }
    column += item.kind == LayoutItem::Kind::Skip ? width : width * static_cast<size_t>(item.repeat);
  }
  return columns;
}

TEST(SnpLayouts, ColumnsAndLimitsFollowTheLayoutText) {
  for (int32_t n_snp : {0, 3, 10000, 10001}) {
    const LayoutColumns columns = columns_of(data_layout(n_snp));
    EXPECT_EQ(columns.number_width, static_cast<size_t>(kRecordNumberWidth));
    EXPECT_EQ(columns.y_column, kYColumn);
    EXPECT_EQ(columns.s_bv_column, kSbvColumn);
    EXPECT_EQ(columns.real_width, static_cast<size_t>(kRecordRealWidth));
    EXPECT_EQ(columns.decimals, kRecordDecimals);
    EXPECT_EQ(columns.first_digit, kFirstDigitColumn);
  }
  EXPECT_EQ(kFirstDigitColumn, 24u);
  EXPECT_EQ(record_chars(0), 23u);
  EXPECT_EQ(record_chars(10000), 20024u);
  struct Section { const Layout& layout; int width; };
  for (const Section& s : {Section{count_layout(), kCountWidth}, Section{variance_layout(), kVarianceWidth},
                           Section{frequency_layout(), kFrequencyWidth}, Section{effect_layout(), kEffectWidth}}) {
    EXPECT_EQ(s.layout.items.at(0).width, s.width);
  }
  EXPECT_EQ(frequency_layout().items.at(0).repeat, kSetupValuesPerLine);
  // The largest record number fills its field; one more does not fit.
  char field[16];
  EXPECT_EQ(std::string(field, write_int(field, kMaxRecords, kRecordNumberWidth)), "999999");
  EXPECT_EQ(std::string(field, write_int(field, kMaxRecords + 1, kRecordNumberWidth)), "******");
  EXPECT_EQ(kMaxNrec, 499999);
  for (auto [n_snp, lines] : {std::pair{0, 1}, {1, 1}, {10, 1}, {11, 2}, {25, 3}}) {
    EXPECT_EQ(section_lines(n_snp), lines) << n_snp;
    EXPECT_EQ(first_effect_line(n_snp), 7 + lines) << n_snp;
  }
}

TEST(CodedGenotype, TheAlleleCodesSummedMinusThree) {
  EXPECT_EQ(coded_genotype(1, 1), -1);
  EXPECT_EQ(coded_genotype(1, 2), 0);
  EXPECT_EQ(coded_genotype(2, 1), 0);
  EXPECT_EQ(coded_genotype(2, 2), 1);
  EXPECT_EQ(coded_genotype_of_digits('1', '1'), -1);
  EXPECT_EQ(coded_genotype_of_digits('2', '1'), 0);
  EXPECT_EQ(coded_genotype_of_digits('2', '2'), 1);
}

// Every line of `text`, read through blocks of `block` bytes.
std::vector<std::string> lines_through(const std::string& text, size_t block, LineReader::Got& last) {
  LineReader reader(block);
  size_t pos = 0;
  const auto fill = [&](char* into, size_t room) {
    const size_t n = std::min(room, text.size() - pos);
    std::copy_n(text.data() + pos, n, into);
    pos += n;
    return n;
  };
  std::vector<std::string> lines;
  std::string_view line;
  while ((last = reader.next(line, fill)) == LineReader::Got::Line) lines.emplace_back(line);
  if (last == LineReader::Got::Unterminated) lines.push_back("<" + std::string(line) + ">");
  return lines;
}

TEST(LineReader, LinesAcrossBlocksOfEverySize) {
  struct Case { std::string text; std::vector<std::string> lines; LineReader::Got last; };
  const std::string wide(300, 'w');
  const Case cases[] = {
      {"", {}, LineReader::Got::End},
      {"\n", {""}, LineReader::Got::End},
      {"a\r\nbc\n\nd", {"a\r", "bc", "", "<d>"}, LineReader::Got::Unterminated},
      {"one\ntwo\n", {"one", "two"}, LineReader::Got::End},
      {wide + "\n" + wide, {wide, "<" + wide + ">"}, LineReader::Got::Unterminated},
  };
  for (const Case& c : cases) {
    for (size_t block : {1, 2, 3, 7, 64, 1024}) {
      LineReader::Got last{};
      EXPECT_EQ(lines_through(c.text, block, last), c.lines) << block << " " << c.text.substr(0, 20);
      EXPECT_EQ(last, c.last);
    }
  }
}

// A SNP_setup of three SNPs as the simulator writes it, with `change`
// replacing the text `from` once.
std::string setup_text(const std::string& from = "", const std::string& to = "") {
  std::string text =
      " n_snp  n_qtl nrec nprog nrec\r\n       3       1       2       0       2\r\n var_a,var_e, sim_var \r\n"
      "     40.00     60.00     39.50\r\n snp_freq\r\n 0.05 0.50 1.00\r\n snp_val\r\n    1.25   -2.00    0.00\r\n";
  if (!from.empty()) text.replace(text.find(from), from.size(), to);
  return text;
}

// The whole SNP_setup through a file of its own, or the refusal as
// program "p" words it.
std::string read_whole(const std::string& text) {
  ScratchDir dir;
  dir.write("SNP_setup", text);
  try {
    SnpFile file(dir.at("SNP_setup"), kSetupFile);
    const SnpSetup s = read_setup(file);
    std::string got = std::to_string(s.counts.n_snp) + " " + std::to_string(s.counts.n_qtl) + " " +
                      std::to_string(s.counts.nrec) + " " + std::to_string(s.counts.nprog) + " |";
    for (float v : {s.variances.var_a, s.variances.var_e, s.variances.sim_var}) got += " " + real_text(v);
    got += " |";
    for (float v : s.snp_freq) got += " " + real_text(v);
    got += " |";
    for (float v : s.snp_val) got += " " + real_text(v);
    return got;
  } catch (const Refusal& refusal) {
    return refusal_text(refusal, "p");
  }
}

TEST(SetupReader, ValuesOrTheRefusal) {
  struct Case { std::string text, read; };
  const Case cases[] = {
      {setup_text(), "3 1 2 0 | 40 60 39.5 | 0.050000001 0.5 1 | 1.25 -2 0"},
      {setup_text("       2\r\n", "       7\r\n"), "3 1 7 0 | 40 60 39.5 | 0.050000001 0.5 1 | 1.25 -2 0"},  // the fifth nrec
      {setup_text(" 0.05 0.50 1.00", " 0.05"), "3 1 2 0 | 40 60 39.5 | 0.050000001 0 0 | 1.25 -2 0"},  // blank past the end
      {setup_text(" 0.50", "  050"), "3 1 2 0 | 40 60 39.5 | 0.050000001 0.5 1 | 1.25 -2 0"},  // implied decimals
      {setup_text(" n_snp", "\tn_snp"), "3 1 2 0 | 40 60 39.5 | 0.050000001 0.5 1 | 1.25 -2 0"},  // headings unread
      {setup_text("       1", "      1x"), "p: SNP_setup line 2: count 2 \"      1x\" does not read as a whole number"},
      {setup_text("       3", "      -3"), "p: SNP_setup line 2: n_snp = -3, counts must be 0 or more"},
      {setup_text("       2\r\n", "      -2\r\n"), "p: SNP_setup line 2: nrec = -2, counts must be 0 or more"},
      {setup_text("     60.00", "     6 .0x"), "p: SNP_setup line 4: var_e \"     6 .0x\" does not read as a number"},
      {setup_text(" 0.50", " 0.5."), "p: SNP_setup line 6: snp_freq(2) \" 0.5.\" does not read as a number"},
      {setup_text("   -2.00", "   -2.0-"), "p: SNP_setup line 8: snp_val(2) \"   -2.0-\" does not read as a number"},
      {setup_text("    1.25", "\t1.25"), "p: SNP_setup line 8: holds a tab, which p does not expand"},
      {setup_text("    0.00\r\n", "    0.00"), "p: SNP_setup line 8: the file ends inside it (no line end)"},
      {setup_text(" snp_val\r\n    1.25   -2.00    0.00\r\n", ""), "p: SNP_setup line 7: missing, the file ends after 6 lines"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_whole(c.text), c.read) << c.text;
  ScratchDir dir;
  try {
    SnpFile file(dir.at("absent"), "SNP_setup");
    FAIL() << "an absent file opened";
  } catch (const Refusal& refusal) {
    EXPECT_EQ(refusal_text(refusal, "p"), "p: SNP_setup: cannot open (No such file or directory)");
  }
}

// Each SNP_data line read as record 1 of a file of two expected records,
// with or without the check of its number; then whether a second is there.
std::string read_record_text(const std::string& text, bool numbered) {
  ScratchDir dir;
  dir.write("SNP_data", text);
  SnpFile file(dir.at("SNP_data"), kDataFile);
  RecordReader reader(file, 2);
  std::string got;
  try {
    for (int k = 0; k < 2; ++k) {
      const DataRecord r = reader.fields(reader.next_line(), numbered);
      got += std::to_string(r.place) + ":" + std::to_string(r.number) + " " + real_text(r.y) + " " +
             real_text(r.s_bv) + " [" + std::string(r.digits()) + "] ";
    }
  } catch (const Refusal& refusal) {
    got += refusal_text(refusal, "p");
  }
  return got;
}

TEST(RecordReader, FieldsOrTheRefusal) {
  struct Case { std::string text; bool numbered; std::string read; };
  const std::string second = "     2     1.00    2.00 21\r\n";
  const Case cases[] = {
      {"     1    12.34   -3.50 1122\r\n" + second, true, "1:1 12.34 -3.5 [1122] 2:2 1 2 [21] "},
      {"     7    12.34   -3.50 1122\n" + second, false, "1:7 12.34 -3.5 [1122] 2:2 1 2 [21] "},
      {"     7    12.34   -3.50 1122\n" + second, true, "p: SNP_data record 1: record number \"     7\", 1 expected"},
      {"     1     1234\r\n" + second, false, "1:1 12.34 0 [] 2:2 1 2 [21] "},  // short fields read 0
      {"    1x    12.34   -3.50\r\n", false, "p: SNP_data record 1: record number \"    1x\", 1 expected"},
      {"     1    1x.34   -3.50\r\n", false, "p: SNP_data record 1: y \"   1x.34\" does not read as a number"},
      {"     1    12.34    -3.x\r\n", false, "p: SNP_data record 1: s_bv \"    -3.x\" does not read as a number"},
      {"     1\t12.34   -3.50 11\r\n", false, "p: SNP_data record 1: holds a tab, which p does not expand"},
      {"     1    12.34   -3.50 1\t22\r\n" + second, false, "1:1 12.34 -3.5 [1\t22] 2:2 1 2 [21] "},
      {"     1    12.34   -3.50 12\r\n", false,
       "1:1 12.34 -3.5 [12] p: SNP_data record 2: missing, the file ends after 1 of 2 x nrec = 2 records"},
      {"     1    12.34   -3.50 12\r\n     2", false,
       "1:1 12.34 -3.5 [12] p: SNP_data record 2: the file ends inside it (no line end)"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_record_text(c.text, c.numbered), c.read) << c.text;
}

TEST(RecordReader, DigitChecks) {
  struct Case { std::string digits; int32_t n_snp; std::string refusal; };
  const Case cases[] = {
      {"1122", 2, ""},
      {"112", 2, "p: SNP_data record 4: 3 allele digits, 4 expected"},
      {"11221", 2, "p: SNP_data record 4: 5 allele digits, 4 expected"},
      {"1102", 2, "p: SNP_data record 4: allele digit 3 (SNP 2) is '0', not 1 or 2"},
      {"11 2", 2, "p: SNP_data record 4: allele digit 3 (SNP 2) is a blank, not 1 or 2"},
      {"\r122", 2, "p: SNP_data record 4: allele digit 1 (SNP 1) is character code 13, not 1 or 2"},
  };
  for (const Case& c : cases) {
    const std::string line = "     4     1.00    2.00 " + c.digits;
    const DataRecord record{.place = 4, .number = 4, .line = line};
    std::string refusal;
    try {
      require_digit_count(record, c.n_snp);
      require_allele_digits(record);
    } catch (const Refusal& r) {
      refusal = refusal_text(r, "p");
    }
    EXPECT_EQ(refusal, c.refusal) << c.digits;
  }
}

}  // namespace
}  // namespace gp
