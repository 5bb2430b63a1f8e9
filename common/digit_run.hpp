// The allele digits of a SNP_data record: one I1 field after another, read
// in one pass instead of field by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/layout.hpp"
#include "common/text_io.hpp"

namespace gp {

// Reads out.size() consecutive one-column integer fields of `record`
// starting at `column` (0-based), exactly as the field-by-field reading
// would: a digit gives its value; a blank, a tab or a lone sign gives 0, and
// so does a column past the record's end. Returns false at the first other
// character, with the fields before it already stored.
bool read_digit_run(std::string_view record, size_t column, std::span<int32_t> out);

// read_record, which also hands back the characters of the last record read
// (CR dropped, tabs expanded), valid until the unit's next read: a reader can
// take the fields of a SNP_data record before the digits with the shared
// layout and the digits straight from the characters.
std::string_view read_record_and_keep(Units& io, int unit, const Layout& layout,
                                      std::initializer_list<InItem> items);

}  // namespace gp
