// Whole exports in-process on hand-made studies: the fileset's bytes, the
// usage text, and every refused input with its message and what it leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <utility>

#include "support.hpp"

namespace gp::plink::testing {
namespace {

// Six records (not a multiple of four) of three SNPs.
const std::vector<std::string> kTinyDigits = {"221211", "112122", "122211", "222222", "111111", "211112"};
const std::vector<float> kTinyY = {101.5f, 99.25f, 100.0f, -9.0f, 0.5f, 12.34f};
const std::vector<float> kTinyBv = {1.0f, -1.25f, 0.0f, 0.01f, -0.5f, 3.5f};

std::vector<std::string> tiny_records() {
  std::vector<std::string> records;
  for (size_t i = 0; i < kTinyDigits.size(); ++i) {
    records.push_back(record_text(static_cast<int32_t>(i + 1), kTinyY[i], kTinyBv[i], kTinyDigits[i]));
  }
  return records;
}

std::string joined(const std::vector<std::string>& records) {
  std::string text;
  for (const std::string& record : records) text += record;
  return text;
}

const std::string kTinySetup = setup_text(3, 3, {1.5f, -0.25f, 0.0f});

void write_tiny(const Scratch& folder) {
  folder.write("SNP_setup", kTinySetup);
  folder.write("SNP_data", joined(tiny_records()));
}

const char* const kExtensions[] = {".bed", ".bim", ".fam", ".bv", ".train", ".indep", ".effects"};

std::map<std::string, std::string> fileset(const Scratch& folder, const std::string& prefix) {
  std::map<std::string, std::string> files;
  for (const char* extension : kExtensions) files[extension] = folder.read(prefix + extension);
  return files;
}

TEST(Export, TinyStudyByteForByte) {
  Scratch folder;
  write_tiny(folder);
  const ExportRun run = run_export(folder, {"tiny"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "snp2plink: 3 SNPs x 6 records written to tiny.bed .bim .fam .bv .train .indep .effects\n");
  // SNP 1 of records 1..4 is 22 11 12 22: codes 00 11 10 00 from the lowest
  // bits up, 0x2C; records 5, 6 (11, 21) give 0x0B with the padding zero.
  EXPECT_EQ(folder.read("tiny.bed"), std::string("\x6C\x1B\x01\x2C\x0B\x0A\x0F\x33\x0B", 9));
  EXPECT_EQ(folder.read("tiny.bim"), "1\tsnp1\t0\t1\t2\t1\n1\tsnp2\t0\t2\t2\t1\n1\tsnp3\t0\t3\t2\t1\n");
  EXPECT_EQ(folder.read("tiny.fam"),
            "1 1 0 0 0 101.5\n2 2 0 0 0 99.25\n3 3 0 0 0 100\n4 4 0 0 0 -9\n5 5 0 0 0 0.5\n6 6 0 0 0 12.34\n");
  EXPECT_EQ(folder.read("tiny.bv"),
            "FID IID y s_bv\n1 1 101.5 1\n2 2 99.25 -1.25\n3 3 100 0\n4 4 -9 0.01\n5 5 0.5 -0.5\n6 6 12.34 3.5\n");
  EXPECT_EQ(folder.read("tiny.train"), "1 1\n2 2\n3 3\n");
  EXPECT_EQ(folder.read("tiny.indep"), "4 4\n5 5\n6 6\n");
  EXPECT_EQ(folder.read("tiny.effects"), "snp1 2 1.5\nsnp2 2 -0.25\nsnp3 2 0\n");
}

// 0, 2, 4, 6 and 8 records of "1111" (codes 11): full bytes are 0xFF, and the
// last byte of each SNP holds 11 for its records and zeros after them.
TEST(Export, EveryRecordCountPadsWithZeros) {
  for (int32_t nrec = 0; nrec <= 4; ++nrec) {
    Scratch folder;
    folder.write("SNP_setup", setup_text(2, nrec, {1.0f, 2.0f}));
    std::string data;
    for (int32_t i = 1; i <= 2 * nrec; ++i) data += record_text(i, 1.0f, 0.0f, "1111");
    folder.write("SNP_data", data);
    ASSERT_EQ(run_export(folder, {"p"}).status, 0) << nrec;
    const std::string last_byte = nrec % 2 == 0 ? "\xFF" : "\x0F";
    const std::string row = nrec == 0 ? "" : std::string(static_cast<size_t>((nrec - 1) / 2), '\xFF') + last_byte;
    EXPECT_EQ(folder.read("p.bed"), "\x6C\x1B\x01" + row + row) << nrec;
  }
}

// Random studies across the vector width (64 SNPs a step) and the blocks of
// 256 records (64 bytes of each row): SNP counts around 64 and 128, and
// record counts that leave 2 to 256 records in the last block, so it holds
// 1 to 64 bytes of each row (whole eights of them and not) and the last
// byte 1 to 4 records. The .bed is built here from the digits: byte i / 4 of SNP j's
// row holds record i's code at bit 2 (i % 4), padding zero.
TEST(Export, BedOfRandomStudiesAcrossVectorsAndBlocks) {
  std::mt19937 rng(29);
  for (int32_t n_snp : {1, 63, 64, 65, 127, 130}) {
    for (int32_t nrec : {1, 2, 3, 4, 5, 8, 15, 16, 17, 33, 64, 127, 128, 129, 130, 131, 132, 144, 150, 160, 191, 192, 256}) {
      const size_t records = 2 * static_cast<size_t>(nrec);
      const size_t row = (records + 3) / 4;
      std::string data;
      std::string bed("\x6C\x1B\x01", 3);
      bed.resize(3 + static_cast<size_t>(n_snp) * row, '\0');
      for (size_t i = 0; i < records; ++i) {
        std::string digits(2 * static_cast<size_t>(n_snp), '1');
        for (char& c : digits) c = rng() % 2 ? '2' : '1';
        data += record_text(static_cast<int32_t>(i + 1), 1.0f, 0.0f, digits);
        for (size_t j = 0; j < static_cast<size_t>(n_snp); ++j) {
          const int twos = (digits[2 * j] == '2') + (digits[2 * j + 1] == '2');
          const unsigned code = twos == 2 ? 0b00 : twos == 1 ? 0b10 : 0b11;
          bed[3 + j * row + i / 4] = static_cast<char>(bed[3 + j * row + i / 4] | code << (2 * (i % 4)));
        }
      }
      Scratch folder;
      folder.write("SNP_setup", setup_text(n_snp, nrec, std::vector<float>(static_cast<size_t>(n_snp), 1.0f)));
      folder.write("SNP_data", data);
      ASSERT_EQ(run_export(folder, {"r"}).status, 0) << n_snp << " SNPs, nrec " << nrec;
      ASSERT_EQ(folder.read("r.bed"), bed) << n_snp << " SNPs, nrec " << nrec;
    }
  }
}

// Lines after record 2 x nrec are not read, whatever they hold.
TEST(Export, LinesAfterTheLastRecordAreNotRead) {
  Scratch folder;
  folder.write("SNP_setup", kTinySetup);
  folder.write("SNP_data", joined(tiny_records()) + "not a record\r\n" + record_text(8, 1, 1, "3"));
  ASSERT_EQ(run_export(folder, {"tiny"}).status, 0);
  EXPECT_EQ(folder.read("tiny.bed").size(), 9u);
}

// No SNPs: records of 23 characters, a .bed of the magic bytes alone.
TEST(Export, StudyWithoutSnps) {
  Scratch folder;
  folder.write("SNP_setup", setup_text(0, 1, {}));
  folder.write("SNP_data", record_text(1, 5.5f, 0.0f, "") + record_text(2, -1.0f, 0.0f, ""));
  ASSERT_EQ(run_export(folder, {"none"}).status, 0);
  EXPECT_EQ(folder.read("none.bed"), "\x6C\x1B\x01");
  EXPECT_EQ(folder.read("none.bim"), "");
  EXPECT_EQ(folder.read("none.fam"), "1 1 0 0 0 5.5\n2 2 0 0 0 -1\n");
}

TEST(Export, MoreThanTenThousandSnpsOnOneLine) {
  constexpr int32_t kSnps = 10003;
  Scratch folder;
  folder.write("SNP_setup", setup_text(kSnps, 2, std::vector<float>(kSnps, 0.25f)));
  std::string data;
  std::vector<std::string> digits(4, std::string(2 * kSnps, '1'));
  for (size_t i = 0; i < digits.size(); ++i) {
    for (size_t k = i; k < digits[i].size(); k += 3 + i) digits[i][k] = '2';
    data += record_text(static_cast<int32_t>(i + 1), 1.0f, 2.0f, digits[i]);
  }
  folder.write("SNP_data", data);
  ASSERT_EQ(run_export(folder, {"wide"}).status, 0);
  const auto twos = decode_bed(folder.read("wide.bed"), kSnps, 4);
  for (size_t i = 0; i < digits.size(); ++i) {
    for (size_t j = 0; j < kSnps; ++j) {
      ASSERT_EQ(twos[j][i], (digits[i][2 * j] == '2') + (digits[i][2 * j + 1] == '2')) << i << " " << j;
    }
  }
  EXPECT_EQ(lines_of(folder.read("wide.bim")).back(), "1\tsnp10003\t0\t10003\t2\t1");
}

// Records of 140 000 digits, longer than the 128 KiB the reader starts
// with. The program runs on its own: in this process a grown buffer could
// reuse freed memory that held the same text.
TEST(Export, RecordsLongerThanTheReadBuffer) {
  constexpr int32_t kSnps = 70000;
  Scratch folder;
  folder.write("SNP_setup", setup_text(kSnps, 2, std::vector<float>(kSnps, 0.5f)));
  std::string data;
  std::vector<std::string> digits(4, std::string(2 * kSnps, '2'));
  for (size_t i = 0; i < digits.size(); ++i) {
    for (size_t k = 2 * i; k < digits[i].size(); k += 5 + i) digits[i][k] = '1';
    data += record_text(static_cast<int32_t>(i + 1), 1.0f, 2.0f, digits[i]);
  }
  folder.write("SNP_data", data);
  const std::string command = "cd '" + folder.path() + "' && " + SNP2PLINK_PATH + " long > run.out 2> run.err";
  ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << folder.read("run.err");
  const auto twos = decode_bed(folder.read("long.bed"), kSnps, 4);
  for (size_t i = 0; i < digits.size(); ++i) {
    for (size_t j = 0; j < kSnps; ++j) {
      ASSERT_EQ(twos[j][i], (digits[i][2 * j] == '2') + (digits[i][2 * j + 1] == '2')) << i << " " << j;
    }
  }
  EXPECT_EQ(lines_of(folder.read("long.fam")).size(), 4u);
}

TEST(Export, PrefixInAnotherFolder) {
  Scratch folder;
  write_tiny(folder);
  std::filesystem::create_directory(folder.at("out"));
  ASSERT_EQ(run_export(folder, {"out/tiny"}).status, 0);
  EXPECT_EQ(folder.read("out/tiny.train"), "1 1\n2 2\n3 3\n");
  const ExportRun missing = run_export(folder, {"nowhere/tiny"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "snp2plink: nowhere/tiny.bed: cannot write (No such file or directory)\n");
}

TEST(Usage, NoArgumentHelpAndBadArguments) {
  struct Case {
    std::vector<std::string> args;
    std::string out, err_first_line;
  };
  const std::string usage_first = "usage: snp2plink PREFIX";
  const Case cases[] = {
      {{}, "", usage_first},
      {{"--help"}, "usage", ""},
      {{"-x"}, "", "snp2plink: \"-x\" is not a PREFIX"},
      {{""}, "", "snp2plink: \"\" is not a PREFIX"},
      {{"out/"}, "", "snp2plink: \"out/\" is not a PREFIX"},
      {{"a", "b"}, "", "snp2plink: one PREFIX expected, 2 arguments given"},
      {{"--help", "a"}, "", "snp2plink: one PREFIX expected, 2 arguments given"},
  };
  for (const Case& c : cases) {
    Scratch folder;
    write_tiny(folder);
    const ExportRun run = run_export(folder, c.args);
    EXPECT_EQ(run.status, 2) << c.err_first_line;
    if (c.out.empty()) {
      EXPECT_EQ(run.out, "");
      ASSERT_FALSE(run.err.empty());
      EXPECT_EQ(lines_of(run.err).front(), c.err_first_line);
      EXPECT_NE(run.err.find(usage_first), std::string::npos);
    } else {
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(lines_of(run.out).front(), usage_first);
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"SNP_data", "SNP_setup"}));
  }
}

// The refused inputs: the message, exit status 1, no file of a new prefix,
// and an earlier set of the same prefix left as it was.
TEST(Refusal, EveryBadInputNamesFileRecordAndProblem) {
  const std::vector<std::string> good = tiny_records();
  const auto with_record = [&](size_t i, const std::string& line) {
    std::vector<std::string> records = good;
    records[i - 1] = line;
    return joined(records);
  };
  const std::string absent = "<absent>";
  const std::string data = joined(good);
  std::string no_line_end = data;
  no_line_end.resize(no_line_end.size() - 2);
  const std::string five_lines = kTinySetup.substr(0, kTinySetup.find(" snp_freq") + 11);
  std::string bad_effect = kTinySetup;
  bad_effect.replace(bad_effect.rfind("    1.50"), 8, "    1.5x");
  std::string bad_count = kTinySetup;
  bad_count.replace(bad_count.find("       3       3"), 8, "      3x");

  struct Case {
    std::string setup, data, message;
  };
  const Case cases[] = {
      {absent, data, "SNP_setup: cannot open (No such file or directory)"},
      {kTinySetup, absent, "SNP_data: cannot open (No such file or directory)"},
      {kTinySetup, with_record(2, record_text(2, 1, 1, "1122")), "SNP_data record 2: 4 allele digits, 6 expected"},
      {kTinySetup, with_record(2, record_text(2, 1, 1, "11221122")), "SNP_data record 2: 8 allele digits, 6 expected"},
      {kTinySetup, with_record(5, record_text(5, 1, 1, "113111")), "SNP_data record 5: allele digit 3 (SNP 2) is '3', not 1 or 2"},
      {kTinySetup, with_record(5, record_text(5, 1, 1, "11110")), "SNP_data record 5: 5 allele digits, 6 expected"},
      {kTinySetup, with_record(6, record_text(6, 1, 1, "11111 ")), "SNP_data record 6: allele digit 6 (SNP 3) is a blank, not 1 or 2"},
      {kTinySetup, with_record(1, record_text(1, 1, 1, "0\t1111")), "SNP_data record 1: allele digit 1 (SNP 1) is '0', not 1 or 2"},
      {kTinySetup, with_record(4, record_text(4, 1, 1, "11\r111")), "SNP_data record 4: allele digit 3 (SNP 2) is character code 13, not 1 or 2"},
      {kTinySetup, joined({good.begin(), good.end() - 1}), "SNP_data record 6: missing, the file ends after 5 of 2 x nrec = 6 records"},
      {kTinySetup, "", "SNP_data record 1: missing, the file ends after 0 of 2 x nrec = 6 records"},
      {kTinySetup, no_line_end, "SNP_data record 6: the file ends inside it (no line end)"},
      {kTinySetup, with_record(3, record_text(4, 1, 1, "111111")), "SNP_data record 3: record number \"     4\", 3 expected"},
      {kTinySetup, with_record(1, "     1    1x.00    0.00 111111\r\n"), "SNP_data record 1: y \"   1x.00\" does not read as a number"},
      {kTinySetup, with_record(1, "     1     1.00   0.0.0 111111\r\n"), "SNP_data record 1: s_bv \"   0.0.0\" does not read as a number"},
      {kTinySetup, with_record(1, "     1\t1.00\r\n"), "SNP_data record 1: 11 characters, at least 23 expected"},
      {kTinySetup, with_record(1, "     1\t   1.00    0.00 111111\r\n"), "SNP_data record 1: holds a tab, which snp2plink does not expand"},
      {bad_count, data, "SNP_setup line 2: count 1 \"      3x\" does not read as a whole number"},
      {setup_text(3, -3, {1, 1, 1}), data, "SNP_setup line 2: nrec = -3, counts must be 0 or more"},
      {setup_text(-1, 3, {}), data, "SNP_setup line 2: n_snp = -1, counts must be 0 or more"},
      {setup_text(3, 500000, {1, 1, 1}), data, "SNP_setup line 2: nrec = 500000, more than the 999999 records that SNP_data can number"},
      {five_lines, data, "SNP_setup line 6: missing, the file ends after 5 lines"},
      {"", data, "SNP_setup line 1: missing, the file ends after 0 lines"},
      {bad_effect, data, "SNP_setup line 8: snp_val(1) \"    1.5x\" does not read as a number"},
  };
  for (const Case& c : cases) {
    Scratch folder;
    write_tiny(folder);
    ASSERT_EQ(run_export(folder, {"kept"}).status, 0);
    const auto earlier = fileset(folder, "kept");
    const std::vector<std::string> names_before = folder.names();
    std::filesystem::remove(folder.at("SNP_setup"));
    std::filesystem::remove(folder.at("SNP_data"));
    if (c.setup != absent) folder.write("SNP_setup", c.setup);
    if (c.data != absent) folder.write("SNP_data", c.data);
    std::vector<std::string> inputs;
    for (const std::string& name : names_before) {
      if (name.rfind("kept.", 0) == 0 || std::filesystem::exists(folder.at(name))) inputs.push_back(name);
    }

    for (const std::string prefix : {"kept", "fresh"}) {
      const ExportRun run = run_export(folder, {prefix});
      EXPECT_EQ(run.status, 1) << c.message;
      EXPECT_EQ(run.err, "snp2plink: " + c.message + "\n");
      EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(fileset(folder, "kept"), earlier) << c.message;
    EXPECT_EQ(folder.names(), inputs) << c.message;
  }
}

// Bad records of a study of 130 SNPs and 300 records, past the first block
// and at digits in the vector body, at its edges and in the tail: the same
// messages as for a small record, and the first bad record wins.
TEST(Refusal, BadRecordsPastTheFirstBlockAndAcrossTheVectors) {
  constexpr int32_t kSnps = 130;
  const std::string good_digits(2 * kSnps, '2');
  const auto study_with = [&](const std::map<int32_t, std::string>& lines) {
    std::string data;
    for (int32_t i = 1; i <= 300; ++i) {
      const auto line = lines.find(i);
      data += line != lines.end() ? line->second : record_text(i, 1.0f, 0.0f, good_digits);
    }
    return data;
  };
  const auto bad_at = [&](int32_t record, size_t digit, char c) {
    std::string digits = good_digits;
    digits[digit - 1] = c;
    return std::pair<const int32_t, std::string>(record, record_text(record, 1.0f, 0.0f, digits));
  };
  std::string unterminated = record_text(300, 1.0f, 0.0f, good_digits);
  unterminated.resize(unterminated.size() - 2);
  struct Case {
    std::map<int32_t, std::string> lines;
    std::string message;
  };
  const Case cases[] = {
      {{bad_at(37, 1, '0')}, "SNP_data record 37: allele digit 1 (SNP 1) is '0', not 1 or 2"},
      {{bad_at(257, 64, '3')}, "SNP_data record 257: allele digit 64 (SNP 32) is '3', not 1 or 2"},
      {{bad_at(258, 65, ' ')}, "SNP_data record 258: allele digit 65 (SNP 33) is a blank, not 1 or 2"},
      {{bad_at(263, 128, '\xB1')}, "SNP_data record 263: allele digit 128 (SNP 64) is character code 177, not 1 or 2"},
      {{bad_at(290, 129, '\t')}, "SNP_data record 290: allele digit 129 (SNP 65) is character code 9, not 1 or 2"},
      {{bad_at(300, 257, 'x')}, "SNP_data record 300: allele digit 257 (SNP 129) is 'x', not 1 or 2"},
      {{bad_at(300, 260, '\r')}, "SNP_data record 300: allele digit 260 (SNP 130) is character code 13, not 1 or 2"},
      {{bad_at(271, 200, '0'), bad_at(270, 201, '0')}, "SNP_data record 270: allele digit 201 (SNP 101) is '0', not 1 or 2"},
      {{{265, record_text(265, 1, 1, good_digits.substr(1))}}, "SNP_data record 265: 259 allele digits, 260 expected"},
      {{{265, record_text(265, 1, 1, good_digits + "1")}}, "SNP_data record 265: 261 allele digits, 260 expected"},
      {{{300, unterminated}}, "SNP_data record 300: the file ends inside it (no line end)"},
      {{{256, record_text(257, 1, 1, good_digits)}}, "SNP_data record 256: record number \"   257\", 256 expected"},
  };
  for (const Case& c : cases) {
    Scratch folder;
    folder.write("SNP_setup", setup_text(kSnps, 150, std::vector<float>(kSnps, 1.0f)));
    folder.write("SNP_data", study_with(c.lines));
    const ExportRun run = run_export(folder, {"p"});
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_EQ(run.err, "snp2plink: " + c.message + "\n");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"SNP_data", "SNP_setup"})) << c.message;
  }
}

// A write refused by the system part-way through the set (a file-size
// limit below the .bim) leaves no file of the prefix and keeps the earlier set.
TEST(Refusal, FailedWriteLeavesTheEarlierSet) {
  Scratch folder;
  folder.write("SNP_setup", setup_text(200, 5, std::vector<float>(200, 1.0f)));
  std::string data;
  for (int32_t i = 1; i <= 10; ++i) data += record_text(i, 1.0f, 0.0f, std::string(400, '2'));
  folder.write("SNP_data", data);
  ASSERT_EQ(run_export(folder, {"kept"}).status, 0);
  const auto earlier = fileset(folder, "kept");
  const std::vector<std::string> names = folder.names();
  // .bed is 203 bytes, .bim more than 1 KiB.
  const std::string command = "cd '" + folder.path() + "' && bash -c 'trap \"\" XFSZ; ulimit -f 1; exec " +
                              SNP2PLINK_PATH + " kept' > run.out 2> run.err";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
  EXPECT_EQ(folder.read("run.err"), "snp2plink: kept.bim: cannot write (File too large)\n");
  EXPECT_EQ(fileset(folder, "kept"), earlier);
  std::vector<std::string> with_logs = names;
  with_logs.insert(with_logs.end(), {"run.err", "run.out"});
  std::sort(with_logs.begin(), with_logs.end());
  EXPECT_EQ(folder.names(), with_logs);
}

TEST(Usage, TheProgramItselfUsesItsStreams) {
  Scratch folder;
  const std::string program = SNP2PLINK_PATH;
  const auto status = [&](const std::string& args) {
    return WEXITSTATUS(std::system(("cd '" + folder.path() + "' && " + program + args + " > o 2> e").c_str()));
  };
  EXPECT_EQ(status(" --help"), 2);
  EXPECT_EQ(lines_of(folder.read("o")).front(), "usage: snp2plink PREFIX");
  EXPECT_EQ(folder.read("e"), "");
  EXPECT_EQ(status(""), 2);
  EXPECT_EQ(folder.read("o"), "");
  EXPECT_EQ(lines_of(folder.read("e")).front(), "usage: snp2plink PREFIX");
  EXPECT_EQ(status(" st"), 1);
  EXPECT_EQ(folder.read("e"), "snp2plink: SNP_setup: cannot open (No such file or directory)\n");
}

}  // namespace
}  // namespace gp::plink::testing
