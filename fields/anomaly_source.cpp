#include "fields/anomaly_source.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "fields/notes.h"
#include "fields/summary_source.h"
#include "modelfiles/number_text.h"
#include "modelfiles/valid_values.h"

namespace veldra::fields {

using files::integer_text;

namespace {

constexpr float kNoData = std::numeric_limits<float>::quiet_NaN();

class AnomalySource final : public FieldSource {
public:
    AnomalySource(std::unique_ptr<FieldSource> months, const Climatology& climatology, const CellPairing& pairing);

    std::int64_t cell_count() const override { return months_->cell_count(); }
    const std::vector<Period>& periods() const override { return months_->periods(); }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) override;
    void check_span() const override { months_->check_span(); }

private:
    std::unique_ptr<FieldSource> months_;
    // The climatology in the order of the cells of `months_`, month by month.
    std::vector<std::vector<float>> normal_;
};

AnomalySource::AnomalySource(std::unique_ptr<FieldSource> months, const Climatology& climatology,
                             const CellPairing& pairing)
    : months_(std::move(months)), normal_(12) {
    const auto n = static_cast<std::size_t>(months_->cell_count());
    if (climatology.by_month.size() != 12 || pairing.baseline_index.size() != n)
        throw std::invalid_argument("an anomaly needs a climatology of 12 months and a pairing of " +
                                    files::integer_text(months_->cell_count()) + " cells");
    for (std::int32_t m = 1; m <= 12; ++m) {
        const Field& f = climatology.by_month[static_cast<std::size_t>(m - 1)];
        if (f.period != Period{0, m})
            throw std::invalid_argument("field " + files::integer_text(m) + " of a climatology is not calendar month " +
                                        files::integer_text(m));
        std::vector<float>& to = normal_[static_cast<std::size_t>(m - 1)];
        to.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto b = static_cast<std::size_t>(pairing.baseline_index[i]);
            if (b >= f.values.size()) throw std::invalid_argument("a pairing past the cells of the climatology");
            to[i] = f.values[b];
        }
    }
    for (const Period& p : months_->periods())
        if (p.year == 0 || p.month < 1 || p.month > 12)
            throw std::invalid_argument("an anomaly of " + period_label(p) + ", which is not a month of a year");
}

FieldRead AnomalySource::read(std::size_t k, Field& field, const StopAsked& stop) {
    FieldRead read = months_->read(k, field, stop);
    if (read.kind == FieldRead::Kind::stopped || read.kind == FieldRead::Kind::skipped) return read;
    const std::vector<float>& normal = normal_[static_cast<std::size_t>(months_->periods()[k].month - 1)];
    for (std::size_t i = 0; i < field.values.size(); ++i) {
        const float v = field.values[i], c = normal[i];
        field.values[i] = files::in_valid_range(v) && files::in_valid_range(c)
                              ? static_cast<float>(static_cast<double>(v) - static_cast<double>(c))
                              : kNoData;
    }
    return read;
}

}  // namespace

std::optional<Climatology> climatology_of(std::unique_ptr<FieldSource> months, std::int32_t first_year,
                                          std::int32_t last_year, const StopAsked& stop) {
    const std::unique_ptr<FieldSource> normals =
        summary_source(std::move(months), Summary::climatology, first_year, last_year);
    Climatology climatology;
    climatology.by_month.resize(normals->periods().size());
    for (std::size_t k = 0; k < climatology.by_month.size(); ++k) {
        const FieldRead read = normals->read(k, climatology.by_month[k], stop);
        if (read.kind == FieldRead::Kind::stopped) return std::nullopt;
        add_note(climatology.notes, "", read.note);
    }
    return climatology;
}

std::unique_ptr<FieldSource> anomaly_source(std::unique_ptr<FieldSource> months, const Climatology& climatology,
                                            const CellPairing& pairing) {
    return std::make_unique<AnomalySource>(std::move(months), climatology, pairing);
}

}  // namespace veldra::fields
