#include "fields/baseline_source.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <utility>

#include "fields/notes.h"
#include "modelfiles/file_io.h"
#include "modelfiles/number_text.h"
#include "modelfiles/valid_values.h"

namespace veldra::fields {

using files::integer_text;
using files::plain_number;

namespace {

constexpr float kNoData = std::numeric_limits<float>::quiet_NaN();

struct Named {
    Compare how;
    std::string_view name;
};

constexpr std::array<Named, 3> kCompares{{
    {Compare::difference, "difference"},
    {Compare::ratio, "ratio"},
    {Compare::percent, "percent"},
}};

std::string grid_text(const CellGrid& g) {
    return files::integer_text(g.cols) + " x " + files::integer_text(g.rows) + " cells of " + files::plain_number(g.cell_size) + " degree";
}

// A position of the grid as one number: row by row from the north-west.
std::int64_t position(const files::RangeCell& c, std::int64_t cols) {
    return (std::int64_t{c.y} - 1) * cols + (std::int64_t{c.x} - 1);
}

class CompareSource final : public FieldSource {
public:
    CompareSource(std::unique_ptr<FieldSource> self, std::unique_ptr<FieldSource> baseline, Compare how,
                  CellPairing pairing);

    std::int64_t cell_count() const override { return self_->cell_count(); }
    const std::vector<Period>& periods() const override { return self_->periods(); }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) override;
    void check_span() const override {
        self_->check_span();
        baseline_->check_span();
    }

private:
    std::unique_ptr<FieldSource> self_, baseline_;
    Compare how_;
    CellPairing pairing_;
    bool single_;                      // one baseline field beside every field
    std::optional<std::size_t> held_;  // the baseline field in base_, when kept from an earlier read
    Field base_;
    FieldRead base_read_;
};

CompareSource::CompareSource(std::unique_ptr<FieldSource> self, std::unique_ptr<FieldSource> baseline, Compare how,
                             CellPairing pairing)
    : self_(std::move(self)), baseline_(std::move(baseline)), how_(how), pairing_(std::move(pairing)) {
    const std::vector<Period>& mine = self_->periods();
    const std::vector<Period>& theirs = baseline_->periods();
    single_ = theirs.size() == 1;
    if (!single_ && mine != theirs) {
        std::size_t k = 0;
        while (k < mine.size() && k < theirs.size() && mine[k] == theirs[k]) ++k;
        if (k < mine.size())
            throw files::Error{"the baseline has no field of " + period_label(mine[k]) + " (field " +
                        files::integer_text(static_cast<std::int64_t>(k) + 1) + " of this run) to compare with"};
        throw files::Error{"the baseline has more fields (" + files::integer_text(static_cast<std::int64_t>(theirs.size())) +
                    ") than this run (" + files::integer_text(static_cast<std::int64_t>(mine.size())) + ")"};
    }
    if (static_cast<std::int64_t>(pairing_.baseline_index.size()) != self_->cell_count())
        throw std::invalid_argument("a pairing of " +
                                    files::integer_text(static_cast<std::int64_t>(pairing_.baseline_index.size())) +
                                    " cells for a run of " + files::integer_text(self_->cell_count()));
    for (const std::int64_t b : pairing_.baseline_index)
        if (b < 0 || b >= baseline_->cell_count())
            throw std::invalid_argument("a pairing with cell " + files::integer_text(b) + " of a baseline of " +
                                        files::integer_text(baseline_->cell_count()));
}

FieldRead CompareSource::read(std::size_t k, Field& field, const StopAsked& stop) {
    FieldRead mine = self_->read(k, field, stop);
    if (mine.kind == FieldRead::Kind::stopped || mine.kind == FieldRead::Kind::skipped) return mine;
    const std::size_t kb = single_ ? 0 : k;
    if (held_ != kb) {
        base_read_ = baseline_->read(kb, base_, stop);
        if (base_read_.kind == FieldRead::Kind::stopped) return base_read_;
        held_ = kb;
    }
    const bool base_missing = base_read_.kind == FieldRead::Kind::skipped;
    for (std::size_t i = 0; i < field.values.size(); ++i)
        field.values[i] =
            base_missing
                ? kNoData
                : compared(field.values[i], base_.values[static_cast<std::size_t>(pairing_.baseline_index[i])], how_);
    if (base_read_.kind == FieldRead::Kind::whole && base_read_.note.empty()) return mine;
    if (base_read_.kind != FieldRead::Kind::whole) mine.kind = FieldRead::Kind::nan;
    add_note(mine.note, "baseline: ", base_read_.note);
    return mine;
}

}  // namespace

std::optional<Compare> compare_named(std::string_view name) {
    for (const Named& n : kCompares)
        if (n.name == name) return n.how;
    return std::nullopt;
}

std::string_view compare_name(Compare how) {
    for (const Named& n : kCompares)
        if (n.how == how) return n.name;
    throw std::invalid_argument("not a comparison");
}

float compared(float self, float baseline, Compare how) {
    if (!files::in_valid_range(self) || !files::in_valid_range(baseline)) return kNoData;
    const double s = self, b = baseline;
    switch (how) {
    case Compare::difference:
        return static_cast<float>(s - b);
    case Compare::ratio:
        return b == 0 ? kNoData : static_cast<float>(s / b);
    case Compare::percent:
        return b == 0 ? kNoData : static_cast<float>(100.0 * (s - b) / b);
    }
    return kNoData;
}

CellGrid cell_grid(const files::CellFile& cells) {
    return {cells.window.cols(), cells.window.rows(), cells.info.cellSize};
}

CellPairing same_cells(std::int64_t cell_count) {
    CellPairing pairing;
    pairing.baseline_index.resize(static_cast<std::size_t>(std::max<std::int64_t>(cell_count, 0)));
    for (std::size_t i = 0; i < pairing.baseline_index.size(); ++i)
        pairing.baseline_index[i] = static_cast<std::int64_t>(i);
    return pairing;
}

CellPairing pair_cells(const std::vector<files::RangeCell>& self, const std::vector<files::RangeCell>& baseline,
                       const CellGrid& self_grid, const CellGrid& baseline_grid, const std::string& self_cell_file,
                       const std::string& baseline_cell_file) {
    if (self_grid.cols != baseline_grid.cols || self_grid.rows != baseline_grid.rows ||
        self_grid.cell_size != baseline_grid.cell_size)
        throw files::ModelFileError{self_cell_file + ": the grid of " + grid_text(self_grid) + " differs from that of " +
                             baseline_cell_file + ", " + grid_text(baseline_grid) +
                             "; a baseline pairs its cells by position on the same grid"};
    // The baseline's cells by position; of cells sharing one, the later in the file.
    std::vector<std::int64_t> order(baseline.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int64_t>(i);
    const auto at = [&](std::int64_t i) { return position(baseline[static_cast<std::size_t>(i)], self_grid.cols); };
    std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) { return at(a) < at(b); });

    CellPairing pairing;
    pairing.baseline_index.reserve(self.size());
    for (std::size_t i = 0; i < self.size(); ++i) {
        const std::int64_t p = position(self[i], self_grid.cols);
        const auto past = std::upper_bound(order.begin(), order.end(), p,
                                           [&](std::int64_t value, std::int64_t b) { return value < at(b); });
        if (past == order.begin() || at(*(past - 1)) != p)
            throw files::ModelFileError{self_cell_file + ": cell " + files::integer_text(static_cast<std::int64_t>(i) + 1) +
                                 " (number " + files::integer_text(self[i].cellNumber) + ", column " +
                                 files::integer_text(self[i].x) + ", row " + files::integer_text(self[i].y) +
                                 ") has no cell at its position in " + baseline_cell_file};
        pairing.baseline_index.push_back(*(past - 1));
    }
    return pairing;
}

void check_years_cover(std::int32_t first_year, std::int32_t last_year, std::int32_t run_first, std::int32_t run_last,
                       const std::string& cell_file) {
    if (first_year > last_year || (first_year >= run_first && last_year <= run_last)) return;
    const std::int64_t missing = first_year < run_first || run_first > run_last
                                     ? first_year
                                     : std::max<std::int64_t>(first_year, std::int64_t{run_last} + 1);
    throw files::ModelFileError{cell_file + ": the run holds the years " + files::integer_text(run_first) + " to " +
                         files::integer_text(run_last) + "; year " + files::integer_text(missing) + " of " +
                         files::integer_text(first_year) + " to " + files::integer_text(last_year) + " is not among them"};
}

std::unique_ptr<FieldSource> compare_source(std::unique_ptr<FieldSource> self, std::unique_ptr<FieldSource> baseline,
                                            Compare how, CellPairing pairing) {
    return std::make_unique<CompareSource>(std::move(self), std::move(baseline), how, std::move(pairing));
}

}  // namespace veldra::fields
