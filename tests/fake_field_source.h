// A field source of the tests: fields of other periods than the months of
// a file, with their own labels, each read giving what the test asks for.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fields/field_source.h"

namespace veldra::viewer {

// Months 1, 2, ... of 2010 labelled "wet season <k>", two cells: k + 0.5 and
// 1e20 (no value); `kinds` says what each read gives.
class FakeSource : public fields::FieldSource {
public:
    FakeSource(std::vector<fields::FieldRead::Kind> kinds, int& reads) : reads(reads), kinds_(std::move(kinds)) {
        for (std::size_t k = 0; k < kinds_.size(); ++k) periods_.push_back({2010, static_cast<std::int32_t>(k + 1)});
    }
    std::int64_t cell_count() const override { return 2; }
    const std::vector<fields::Period>& periods() const override { return periods_; }
    fields::FieldRead read(std::size_t k, fields::Field& field, const fields::StopAsked&) override {
        ++reads;
        field.period = periods_[k];
        field.label = "wet season " + std::to_string(k);
        field.values = {static_cast<float>(k) + 0.5f, 1e20f};
        return {kinds_[k], kinds_[k] == fields::FieldRead::Kind::skipped ? "no rain gauge" : ""};
    }
    int& reads;  // counted where the test sees them once the export is over

private:
    std::vector<fields::FieldRead::Kind> kinds_;
    std::vector<fields::Period> periods_;
};

}  // namespace veldra::viewer
