// The one reader of SNP_setup and of SNP_data, over the lines of a unit of
// the text-record layer (kolber) or of a file read on its own (snp2plink and
// the samplers). Fields are cut and converted as the input statements do.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <utility>

#include "common/number_fields.hpp"
#include "common/snp_files.hpp"
#include "common/units.hpp"

namespace gp {
namespace {

// 128 KiB: a read costs little more than its copy, while every page of the
// buffer is a page fault, which in a virtual machine can cost more than
// reading the page.
constexpr size_t kFileBlock = size_t{1} << 17;

bool holds_tab(std::string_view text) { return text.find('\t') != std::string_view::npos; }

// The next line; a line the file ends inside, or none, is refused at the
// place of `missing()`, the refusal of a missing line.
template <class Missing>
std::string_view line_or_refusal(SnpLines& lines, const Missing& missing) {
  std::string_view line;
  const LineReader::Got got = lines.next(line);
  if (got == LineReader::Got::Line) return line;
  Refusal refusal = missing();
  if (got == LineReader::Got::Unterminated) refusal = Refusal{.problem = Problem::NoLineEnd, .place = refusal.place};
  throw refusal;
}

}  // namespace

SnpFile::SnpFile(const std::string& path, std::string name) : name_(std::move(name)), lines_(kFileBlock) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Refusal{.problem = Problem::CannotOpen, .file = name_, .error_number = errno};
}

SnpFile::~SnpFile() { ::close(fd_); }

LineReader::Got SnpFile::next(std::string_view& line) {
  const auto read = [this](char* into, size_t room) {
    ssize_t got = 0;
    do {
      got = ::read(fd_, into, room);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw Refusal{.problem = Problem::CannotRead, .file = name_, .error_number = errno};
    return static_cast<size_t>(got);
  };
  const LineReader::Got got = lines_.next(line, read);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return got;
}

UnitLines::UnitLines(Units& io, int unit) : io_(io), unit_(unit) {}

LineReader::Got UnitLines::next(std::string_view& line) {
  line = next_record(io_, unit_);
  return LineReader::Got::Line;
}

std::string_view SetupReader::next() {
  ++line_;
  return line_or_refusal(lines_, [this] {
    return Refusal{.problem = Problem::LineMissing, .place = place(), .count = line_ - 1};
  });
}

std::string_view SetupReader::next_converted() {
  const std::string_view line = next();
  if (!lines_.tabs_expanded() && holds_tab(line)) throw Refusal{.problem = Problem::HoldsTab, .place = place()};
  return line;
}

SetupCounts SetupReader::counts() {
  next();
  const std::string_view line = next_converted();
  int32_t count[kCountsWritten] = {};
  for (int k = 0; k < kCountsWritten; ++k) {
    const std::string_view text = field_text(line, static_cast<size_t>(k * kCountWidth), kCountWidth);
    if (const FieldParse parse = parse_int_field(text, false, count[k]); parse != FieldParse::Ok) {
      throw Refusal{.problem = Problem::CountField, .place = place(), .field = std::string(text), .index = k + 1,
                    .parse = parse};
    }
  }
  const SetupCounts counts{.n_snp = count[0], .n_qtl = count[1], .nrec = count[4], .nprog = count[3]};
  for (const auto& [name, value] : {std::pair{"n_snp", counts.n_snp}, std::pair{"nrec", counts.nrec}}) {
    if (value < 0) throw Refusal{.problem = Problem::NegativeCount, .place = place(), .name = name, .value = value};
  }
  return counts;
}

SetupVariances SetupReader::variances() {
  next();
  const std::string_view line = next_converted();
  SetupVariances variances;
  const std::pair<const char*, float*> values[] = {
      {"var_a", &variances.var_a}, {"var_e", &variances.var_e}, {"sim_var", &variances.sim_var}};
  for (size_t k = 0; k < std::size(values); ++k) {
    const std::string_view text = field_text(line, k * kVarianceWidth, kVarianceWidth);
    if (const FieldParse parse = parse_real_field(text, kSetupDecimals, false, *values[k].second);
        parse != FieldParse::Ok) {
      throw Refusal{.problem = Problem::RealField, .place = place(), .name = values[k].first,
                    .field = std::string(text), .parse = parse};
    }
  }
  return variances;
}

void SetupReader::skip_variances() {
  next();
  next();
}

void SetupReader::frequencies(std::span<float> snp_freq) {
  next();
  convert_values(snp_freq, kFrequencyWidth, "snp_freq");
}

void SetupReader::skip_frequencies(int32_t n_snp) {
  next();
  for (int64_t k = section_lines(n_snp); k > 0; --k) next();
}

void SetupReader::effects(std::span<float> snp_val) {
  next();
  convert_values(snp_val, kEffectWidth, "snp_val");
}

void SetupReader::convert_values(std::span<float> values, int width, const char* name) {
  const int64_t n = static_cast<int64_t>(values.size());
  for (int64_t first = 0, lines = section_lines(n); lines > 0; --lines, first += kSetupValuesPerLine) {
    const std::string_view line = next_converted();
    for (int64_t j = first; j < std::min(first + kSetupValuesPerLine, n); ++j) {
      const size_t column = static_cast<size_t>((j - first) * width);
      const std::string_view text = field_text(line, column, static_cast<size_t>(width));
      if (const FieldParse parse = parse_real_field(text, kSetupDecimals, false, values[static_cast<size_t>(j)]);
          parse != FieldParse::Ok) {
        throw Refusal{.problem = Problem::ValueField, .place = place(), .name = name, .field = std::string(text),
                      .index = j + 1, .parse = parse};
      }
    }
  }
}

SnpSetup read_setup(SnpLines& lines) {
  SetupReader reader(lines);
  SnpSetup setup;
  setup.counts = reader.counts();
  setup.variances = reader.variances();
  try {
    setup.snp_freq.resize(static_cast<size_t>(setup.counts.n_snp));
    setup.snp_val.resize(static_cast<size_t>(setup.counts.n_snp));
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = setup.counts.n_snp,
                  .value = 2 * int64_t{setup.counts.nrec}};
  }
  reader.frequencies(setup.snp_freq);
  reader.effects(setup.snp_val);
  return setup;
}

std::string_view RecordReader::next_line() {
  ++place_;
  return line_or_refusal(lines_, [this] {
    return Refusal{.problem = Problem::LineMissing, .place = record_place(place_), .count = place_ - 1,
                   .value = records_};
  });
}

DataRecord RecordReader::fields(std::string_view line, bool numbered) const {
  const auto place = [this] { return record_place(place_); };
  if (!lines_.tabs_expanded() && holds_tab(line.substr(0, kFirstDigitColumn))) {
    throw Refusal{.problem = Problem::HoldsTab, .place = place()};
  }
  DataRecord record{.place = place_, .line = line};
  const std::string_view number = field_text(line, 0, kRecordNumberWidth);
  const FieldParse parse = parse_int_field(number, false, record.number);
  if (parse != FieldParse::Ok || (numbered && record.number != place_)) {
    throw Refusal{.problem = Problem::RecordNumber, .place = place(), .field = std::string(number), .value = place_,
                  .parse = parse};
  }
  const std::pair<const char*, size_t> reals[] = {{"y", kYColumn}, {"s_bv", kSbvColumn}};
  float* const values[] = {&record.y, &record.s_bv};
  for (size_t k = 0; k < 2; ++k) {
    const std::string_view text = field_text(line, reals[k].second, kRecordRealWidth);
    if (const FieldParse parse = parse_real_field(text, kRecordDecimals, false, *values[k]); parse != FieldParse::Ok) {
      throw Refusal{.problem = Problem::RealField, .place = place(), .name = reals[k].first,
                    .field = std::string(text), .parse = parse};
    }
  }
  return record;
}

DataRecord RecordReader::next_strict(int32_t n_snp) {
  const std::string_view line = next_line();
  if (line.size() < kRecordFieldChars) {
    throw Refusal{.problem = Problem::ShortRecord, .place = record_place(place_),
                  .count = static_cast<int64_t>(line.size())};
  }
  const DataRecord record = fields(line, /*numbered=*/true);
  require_digit_count(record, n_snp);
  return record;
}

void require_digit_count(const DataRecord& record, int32_t n_snp) {
  const int64_t found = static_cast<int64_t>(record.digits().size());
  const int64_t expected = 2 * int64_t{n_snp};
  if (found == expected) return;
  throw Refusal{.problem = Problem::DigitCount, .place = record_place(record.place), .count = found,
                .value = expected};
}

void require_allele_digits(const DataRecord& record) {
  const std::string_view digits = record.digits();
  for (size_t k = 0; k < digits.size(); ++k) {
    if (digits[k] == '1' || digits[k] == '2') continue;
    throw Refusal{.problem = Problem::BadDigit, .place = record_place(record.place),
                  .index = static_cast<int64_t>(k) + 1, .value = static_cast<unsigned char>(digits[k])};
  }
}

}  // namespace gp
