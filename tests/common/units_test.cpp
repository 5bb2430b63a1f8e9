// The unit table: opening and replacing files, output blocks, input
// records (line ends, tabs, long lines), cutting and rewinding.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/text_io.hpp"
#include "common/units.hpp"
#include "text_io_fixtures.hpp"

namespace gp {
namespace {

using text_test::report_text;
using text_test::RunResult;
using text_test::ScratchDir;

const std::string kPastEndUnit1 =
    report_text("KALDREN Runtime Error:", "Attempt to read past end of file", "READ(UNIT=1,...");

// Runs `body` with file names in `dir`.
RunResult run_in(const ScratchDir& dir, const std::function<void(Units&)>& body, const std::string& input = {}) {
  return text_test::run_captured(input, body, dir.path());
}

// Every record of `file`, read through the layer until its end.
std::vector<std::string> records_of(const ScratchDir& dir, const std::string& file, size_t count, int tab_width = 8) {
  std::vector<std::string> records;
  const RunResult run = run_in(dir, [&](Units& io) {
    io.table().tab_width = tab_width;
    open_unit(io, 1, file);
    for (size_t i = 0; i < count; ++i) records.emplace_back(next_record(io, 1));
  });
  EXPECT_EQ(run.errors, "");
  return records;
}

TEST(InputRecords, LineEnds) {
  struct Case { const char* bytes; std::vector<std::string> expected; };
  const Case cases[] = {
      {"ab\ncd\n", {"ab", "cd"}},
      {"ab\r\ncd\r\n", {"ab", "cd"}},
      {"a\rb\r\r\n\r\n\n", {"ab", "", ""}},
      {"\n\n", {"", ""}},
      {"x y  \n", {"x y  "}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("f", c.bytes);
    EXPECT_EQ(records_of(dir, "f", c.expected.size()), c.expected) << "bytes \"" << c.bytes << "\"";
  }
}

TEST(InputRecords, Tabs) {
  struct Case { int width; const char* line; const char* expected; };
  const Case cases[] = {
      {8, "a\tb", "a       b"},  {8, "\t", "        "},     {8, "12345678\tx", "12345678        x"},
      {4, "ab\tc", "ab  c"},     {3, "abc\td", "abc   d"},   {1, "a\t\tb", "a  b"},
      {0, "a\tb", "a b"},        {8, "a\r\tb", "a       b"},  {2, "\t\t1", "    1"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("f", std::string(c.line) + "\n");
    EXPECT_EQ(records_of(dir, "f", 1, c.width), std::vector<std::string>{c.expected})
        << "width " << c.width << ", \"" << c.line << "\"";
  }
}

TEST(InputRecords, TabWidthFromTheEnvironment) {
  struct Case { const char* value; int width; };
  const Case cases[] = {{nullptr, 8}, {"", 8}, {"4", 4}, {"0", 0}, {"16", 16}, {"-1", 8},
                        {"x", 8},     {"4x", 8}, {" 4", 8}, {"99999999999", 8}};
  for (const Case& c : cases) EXPECT_EQ(tab_width_from(c.value), c.width) << (c.value ? c.value : "(absent)");

  ::setenv("TABSIZE", "3", 1);
  Units io;
  ::unsetenv("TABSIZE");
  EXPECT_EQ(io.table().tab_width, 3);
}

// Lines of SNP_data size, many crossing block boundaries, some with CR LF
// and tabs, read back exactly.
TEST(InputRecords, LongLines) {
  ScratchDir dir;
  std::vector<std::string> lines;
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    std::string line(20024 - (i % 7), static_cast<char>('1' + i % 2));
    line[i] = 'x';
    lines.push_back(line);
    if (i % 5 == 3) {
      line[i + 1] = '\t';
      lines.back().replace(i + 1, 1, 8 - (i + 1) % 8, ' ');
    }
    bytes += line + (i % 3 == 0 ? "\r\n" : "\n");
  }
  dir.write("f", bytes);
  const std::vector<std::string> got = records_of(dir, "f", lines.size());
  ASSERT_EQ(got.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(got[i], lines[i]) << "line " << i + 1;
}

TEST(InputRecords, LastLineWithoutLineFeed) {
  struct Case { const char* bytes; size_t complete; };
  const Case cases[] = {{"", 0}, {"12", 0}, {"1\n2", 1}, {"1\r\n2\r", 1}, {"1\n\r", 1}};
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("f", c.bytes);
    size_t read = 0;
    const RunResult run = run_in(dir, [&](Units& io) {
      open_unit(io, 1, "f");
      for (;;) {
        next_record(io, 1);
        ++read;
      }
    });
    EXPECT_EQ(read, c.complete) << "bytes \"" << c.bytes << "\"";
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_EQ(run.errors, kPastEndUnit1) << "bytes \"" << c.bytes << "\"";
  }
}

TEST(Files, OpenedMissingFileIsCreatedEmpty) {
  ScratchDir dir;
  const RunResult run = run_in(dir, [&](Units& io) {
    open_unit(io, 1, "par_file   ");
    next_record(io, 1);
  });
  EXPECT_EQ(run.errors, kPastEndUnit1);
  EXPECT_TRUE(dir.exists("par_file"));
  EXPECT_FALSE(dir.exists("par_file   "));
  EXPECT_EQ(dir.read("par_file"), "");
}

TEST(Files, ReplacingAndKeeping) {
  const std::string old_content = "old 1\r\nold 2\r\nold 3\r\nold 4\r\n";
  struct Case { const char* what; std::vector<std::string> written; bool cut; std::string expected; };
  const Case cases[] = {
      {"opened, never written: kept", {}, false, old_content},
      {"fewer lines than before: only the new ones", {"new 1", "new 2"}, false, "new 1\r\nnew 2\r\n"},
      {"opened and cut: empty", {}, true, ""},
      {"cut, then written", {"a"}, true, "a\r\n"},
      {"an empty record", {""}, false, "\r\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("results", old_content);
    const RunResult run = run_in(dir, [&](Units& io) {
      open_unit(io, 3, "results");
      if (c.cut) cut_unit(io, 3);
      for (const std::string& record : c.written) put_record(io, 3, record);
    });
    EXPECT_EQ(run.status, kExitOk) << c.what;
    EXPECT_EQ(dir.read("results"), c.expected) << c.what;
  }
}

// Records far longer than a block, mixed with short ones, arrive intact and
// in order; a file longer than the new data is cut after it.
TEST(Files, OutputBlocks) {
  ScratchDir dir;
  dir.write("data", std::string(300000, 'z'));
  std::string expected;
  const RunResult run = run_in(dir, [&](Units& io) {
    open_unit(io, 2, "data");
    for (int i = 0; i < 40; ++i) {
      const size_t size = i % 4 == 0 ? 5 : 20024 + static_cast<size_t>(i) * 97 % 8192;
      std::string record(size, static_cast<char>('a' + i % 26));
      put_record(io, 2, record);
      expected += record + "\r\n";
    }
    put_record(io, 2, std::string(8190, 'q'));
    expected += std::string(8190, 'q') + "\r\n";
  });
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(dir.read("data"), expected);
}

TEST(Files, WrittenRecordsReachTheFileWhenTheBufferFills) {
  ScratchDir dir;
  std::string seen_before_end;
  run_in(dir, [&](Units& io) {
    open_unit(io, 1, "f");
    put_record(io, 1, "short");
    seen_before_end = dir.read("f");
    put_record(io, 1, std::string(9000, 'x'));
    seen_before_end += "|" + dir.read("f").substr(0, 7);
  });
  EXPECT_EQ(seen_before_end, "|short\r\n");
}

TEST(Files, Rewind) {
  ScratchDir dir;
  std::vector<std::string> got;
  const RunResult run = run_in(dir, [&](Units& io) {
    open_unit(io, 2, "data");
    put_record(io, 2, "r1");
    put_record(io, 2, "r2");
    put_record(io, 2, "r3");
    rewind_unit(io, 2);  // the records are flushed, then read from the start
    got.emplace_back(next_record(io, 2));
    got.emplace_back(next_record(io, 2));
    rewind_unit(io, 2);
    got.emplace_back(next_record(io, 2));
  });
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(got, (std::vector<std::string>{"r1", "r2", "r1"}));
  EXPECT_EQ(dir.read("data"), "r1\r\nr2\r\nr3\r\n");
}

TEST(Files, WritingAfterReadingEndsTheFileThere) {
  ScratchDir dir;
  dir.write("f", "one\ntwo\nthree\n");
  const RunResult run = run_in(dir, [&](Units& io) {
    open_unit(io, 1, "f");
    EXPECT_EQ(next_record(io, 1), "one");
    put_record(io, 1, "TWO");
  });
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(dir.read("f"), "one\nTWO\r\n");
}

TEST(Files, RewindAfterWritingReplacesOnTheNextWrite) {
  ScratchDir dir;
  run_in(dir, [&](Units& io) {
    open_unit(io, 1, "f");
    put_record(io, 1, "first version, long");
    rewind_unit(io, 1);
    put_record(io, 1, "second");
  });
  EXPECT_EQ(dir.read("f"), "second\r\n");
}

TEST(Files, UnitsAreIndependent) {
  ScratchDir dir;
  dir.write("in", "a\nb\n");
  std::vector<std::string> got;
  run_in(dir, [&](Units& io) {
    open_unit(io, 1, "in");
    open_unit(io, 2, "out");
    got.emplace_back(next_record(io, 1));
    put_record(io, 2, "x");
    got.emplace_back(next_record(io, 1));
  });
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(dir.read("in"), "a\nb\n");
  EXPECT_EQ(dir.read("out"), "x\r\n");
}

TEST(Console, OutputIsHeldUntilTheStatementEnds) {
  ConsoleCapture console;
  console.input = "42\n";
  Units io(&console);
  put_record(io, kConsole, "line 1");
  put_record(io, kConsole, "");
  EXPECT_EQ(console.output, "");
  flush_console(io);
  EXPECT_EQ(console.output, "line 1\r\n\r\n");
  put_record(io, kConsole, "prompt?");
  EXPECT_EQ(next_record(io, kConsole), "42");  // reading shows the prompt first
  EXPECT_EQ(console.output, "line 1\r\n\r\nprompt?\r\n");
  put_record(io, kConsole, "last");
  EXPECT_EQ(run_program(io, [] {}), kExitOk);
  EXPECT_EQ(console.output, "line 1\r\n\r\nprompt?\r\nlast\r\n");
}

}  // namespace
}  // namespace gp
