#include "snp2plink/study_reader.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>

#include "common/number_fields.hpp"
#include "common/snp_files.hpp"
#include "snp2plink/pack_kernel.hpp"
#include "snp2plink/refusal.hpp"

namespace gp::plink {
namespace {

// 128 KiB: a read costs little more than its copy, while every page of the
// buffer is a page fault, which in a virtual machine can cost more than
// reading the page.
constexpr size_t kReadChunk = size_t{1} << 17;
// Records packed before their bytes go to the SNPs' rows: 256 records are
// 64 bytes of every row, so a row is written a cache line's worth at a time.
constexpr int64_t kBlockRecords = 4 * kBlockGroups;
constexpr int64_t kMaxRecords = 999999;  // the six columns of the record number

// The lines of a file, read kReadChunk bytes at a time; a line is valid
// until the next call. A line longer than the buffer grows it.
class LineReader {
 public:
  enum class Got : uint8_t { Line, Unterminated, End };

  LineReader(const std::string& path, std::string name)
      : name_(std::move(name)), buffer_(std::make_unique_for_overwrite<char[]>(kReadChunk)) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw Refusal{.problem = Problem::CannotOpen, .file = name_, .error_number = errno};
  }
  ~LineReader() { close(fd_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its LF and a CR before it.
  Got next(std::string_view& line) {
    size_t searched = begin_;
    for (;;) {
      const void* lf = std::memchr(buffer_.get() + searched, '\n', end_ - searched);
      if (lf != nullptr) {
        const size_t length = static_cast<size_t>(static_cast<const char*>(lf) - buffer_.get()) - begin_;
        line = take(length);
        begin_ += 1;
        return Got::Line;
      }
      if (at_eof_) {
        if (begin_ == end_) return Got::End;
        line = take(end_ - begin_);
        return Got::Unterminated;
      }
      searched = refill();
    }
  }

 private:
  std::string_view take(size_t length) {
    std::string_view line(buffer_.get() + begin_, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    begin_ += length;
    return line;
  }

  // Moves the unfinished line to the front, reads more after it and returns
  // where the search for its end goes on.
  size_t refill() {
    const size_t pending = end_ - begin_;
    std::memmove(buffer_.get(), buffer_.get() + begin_, pending);
    begin_ = 0;
    end_ = pending;
    if (end_ == size_) {
      auto larger = std::make_unique_for_overwrite<char[]>(2 * size_);
      std::memcpy(larger.get(), buffer_.get(), end_);
      buffer_ = std::move(larger);
      size_ *= 2;
    }
    ssize_t got = 0;
    do {
      got = read(fd_, buffer_.get() + end_, size_ - end_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw Refusal{.problem = Problem::CannotRead, .file = name_, .error_number = errno};
    if (got == 0) at_eof_ = true;
    end_ += static_cast<size_t>(got);
    return pending;
  }

  std::string name_;
  int fd_ = -1;
  // Left uninitialised: a page is touched only when the file reaches it.
  std::unique_ptr<char[]> buffer_;
  size_t size_ = kReadChunk;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool at_eof_ = false;
};

// A field of `width` columns from `column`, as the input statements cut it:
// shorter or empty past the line's end.
std::string_view field(std::string_view line, size_t column, size_t width) {
  return column < line.size() ? line.substr(column, width) : std::string_view();
}

void reject_tab(std::string_view text, const std::string& place) {
  if (text.find('\t') != std::string_view::npos) throw Refusal{.problem = Problem::HoldsTab, .place = place};
}

// The lines of SNP_setup, counted for the messages.
class SetupLines {
 public:
  SetupLines(const std::string& path, const std::string& name) : name_(name), in_(path, name) {}

  std::string_view next() {
    ++number_;
    std::string_view line;
    switch (in_.next(line)) {
      case LineReader::Got::Line:
        return line;
      case LineReader::Got::Unterminated:
        throw Refusal{.problem = Problem::NoLineEnd, .place = place()};
      case LineReader::Got::End:
        break;
    }
    throw Refusal{.problem = Problem::LineMissing, .place = place(), .count = number_ - 1};
  }
  std::string place() const { return line_place(name_, number_); }

 private:
  std::string name_;
  LineReader in_;
  int64_t number_ = 0;
};

// One record's fields and digits; the codes go into `codes` at `shift`.
void read_record_line(std::string_view line, int64_t record, const RecordColumns& columns, int32_t n_snp,
                      uint8_t* codes, unsigned shift, float& y, float& s_bv) {
  const auto place = [record] { return record_place(record); };
  if (line.size() < columns.s_bv_column + columns.real_width) {
    throw Refusal{.problem = Problem::ShortRecord, .place = place(), .count = static_cast<int64_t>(line.size())};
  }
  reject_tab(line.substr(0, columns.first_digit), place());
  const std::string_view number = line.substr(0, columns.number_width);
  int32_t rec_id = 0;
  if (parse_int_field(number, false, rec_id) != FieldParse::Ok || rec_id != record) {
    throw Refusal{.problem = Problem::RecordNumber, .place = place(), .field = std::string(number), .value = record};
  }
  const auto real = [&](size_t column, const char* name, float& value) {
    const std::string_view text = line.substr(column, columns.real_width);
    if (parse_real_field(text, columns.decimals, false, value) != FieldParse::Ok) {
      throw Refusal{.problem = Problem::RealField, .place = place(), .name = name, .field = std::string(text)};
    }
  };
  real(columns.y_column, "y", y);
  real(columns.s_bv_column, "s_bv", s_bv);

  const std::string_view digits =
      line.size() > columns.first_digit ? line.substr(columns.first_digit) : std::string_view();
  const int64_t expected = 2 * int64_t{n_snp};
  if (static_cast<int64_t>(digits.size()) != expected) {
    throw Refusal{.problem = Problem::DigitCount, .place = place(), .count = static_cast<int64_t>(digits.size()),
                  .value = expected};
  }
  if (!pack_genotypes(digits.data(), static_cast<size_t>(n_snp), codes, shift)) {
    const size_t k = first_bad_digit(digits);
    throw Refusal{.problem = Problem::BadDigit, .place = place(), .index = static_cast<int64_t>(k) + 1,
                  .value = static_cast<unsigned char>(digits[k])};
  }
}

// Uninitialised memory for `bytes` bytes, in whole huge pages where the
// system gives them: each block of records is written across the whole
// packed matrix, and with 4 KiB pages the page faults and the misses of the
// address translation cost more than the packing (a wide study's block, 3 MB
// at 50 000 SNPs, was 800 page faults on its own). Throws bad_alloc.
LargePageArray<uint8_t> huge_page_memory(size_t bytes) {
  if (bytes == 0) return {};
  return LargePageArray<uint8_t>(static_cast<uint8_t*>(large_page_memory(bytes)));
}

}  // namespace

RecordColumns record_columns(const Layout& data_layout) {
  RecordColumns columns{};
  size_t column = 0;
  for (const LayoutItem& item : data_layout.items) {
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

StudySetup read_study_setup(const std::string& path, const std::string& name) {
  SetupLines lines(path, name);
  lines.next();
  const std::string_view count_line = lines.next();
  reject_tab(count_line, lines.place());
  const size_t count_width = static_cast<size_t>(count_layout().items[0].width);
  static const char* const kCountNames[] = {"n_snp", "n_qtl", "nrec", "nprog", "nrec"};
  int32_t counts[5] = {};
  for (size_t k = 0; k < 5; ++k) {
    const std::string_view text = field(count_line, k * count_width, count_width);
    if (parse_int_field(text, false, counts[k]) != FieldParse::Ok) {
      throw Refusal{.problem = Problem::CountField, .place = lines.place(), .field = std::string(text),
                    .index = static_cast<int64_t>(k) + 1};
    }
  }
  StudySetup setup{.n_snp = counts[0], .nrec = counts[4], .snp_val = {}};
  for (size_t k : {size_t{0}, size_t{4}}) {
    if (counts[k] < 0) {
      throw Refusal{.problem = Problem::NegativeCount, .place = lines.place(), .name = kCountNames[k],
                    .value = counts[k]};
    }
  }
  if (2 * int64_t{setup.nrec} > kMaxRecords) {
    throw Refusal{.problem = Problem::TooManyRecords, .place = lines.place(), .value = setup.nrec};
  }

  // The variance heading, the variances and the "snp_freq" heading.
  for (int k = 0; k < 3; ++k) lines.next();
  // A section of no values is still one (empty) line.
  const auto section_lines = [&](const Layout& layout) {
    return std::max<int64_t>(1, (int64_t{setup.n_snp} + layout.items[0].repeat - 1) / layout.items[0].repeat);
  };
  for (int64_t k = section_lines(frequency_layout()); k > 0; --k) lines.next();
  lines.next();

  const LayoutItem& effect = effect_layout().items[0];
  const int64_t per_line = effect.repeat;
  const size_t width = static_cast<size_t>(effect.width);
  try {
    setup.snp_val.resize(static_cast<size_t>(setup.n_snp));
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = setup.n_snp, .value = 2 * int64_t{setup.nrec}};
  }
  for (int64_t first = 0, line_count = section_lines(effect_layout()); line_count > 0; --line_count, first += per_line) {
    const std::string_view line = lines.next();
    reject_tab(line, lines.place());
    for (int64_t j = first; j < std::min<int64_t>(first + per_line, setup.n_snp); ++j) {
      const std::string_view text = field(line, static_cast<size_t>(j - first) * width, width);
      if (parse_real_field(text, effect.decimals, false, setup.snp_val[static_cast<size_t>(j)]) != FieldParse::Ok) {
        throw Refusal{.problem = Problem::EffectField, .place = lines.place(), .field = std::string(text),
                      .index = j + 1};
      }
    }
  }
  return setup;
}

StudyGenotypes read_study_data(const std::string& path, const std::string& name, const StudySetup& setup) {
  const RecordColumns columns = record_columns(data_layout(setup.n_snp));
  const size_t n_snp = static_cast<size_t>(setup.n_snp);
  StudyGenotypes data;
  data.records = 2 * int64_t{setup.nrec};
  data.bytes_per_snp = static_cast<size_t>(data.records + 3) / 4;
  LargePageArray<uint8_t> block;
  try {
    // Left uninitialised: every byte is stored below, and pages of a study
    // that turns out short are never touched.
    data.packed = huge_page_memory(n_snp * data.bytes_per_snp);
    data.y.resize(static_cast<size_t>(data.records));
    data.s_bv.resize(static_cast<size_t>(data.records));
    block = huge_page_memory(kBlockRecords / 4 * n_snp);
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = setup.n_snp, .value = data.records};
  }

  LineReader in(path, name);
  for (int64_t first = 0; first < data.records; first += kBlockRecords) {
    const int64_t count = std::min(kBlockRecords, data.records - first);
    for (int64_t r = 0; r < count; ++r) {
      const int64_t record = first + r + 1;
      std::string_view line;
      const LineReader::Got got = in.next(line);
      if (got == LineReader::Got::End) {
        throw Refusal{.problem = Problem::LineMissing, .place = record_place(record), .count = record - 1,
                      .value = data.records};
      }
      if (got == LineReader::Got::Unterminated) throw Refusal{.problem = Problem::NoLineEnd, .place = record_place(record)};
      const size_t i = static_cast<size_t>(record - 1);
      read_record_line(line, record, columns, setup.n_snp, block.get() + static_cast<size_t>(r / 4) * n_snp,
                       static_cast<unsigned>(2 * (r % 4)), data.y[i], data.s_bv[i]);
    }
    // Byte k of the block's part of every row holds records 4k .. 4k + 3.
    const PackedBlock packed{.bytes = block.get(), .n_snp = n_snp, .groups = static_cast<size_t>(count + 3) / 4};
    block_to_rows(packed, data.packed.get() + static_cast<size_t>(first / 4), data.bytes_per_snp);
  }
  return data;
}

}  // namespace gp::plink
