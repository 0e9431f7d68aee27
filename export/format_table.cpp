#include "export/format_table.h"

#include <algorithm>
#include <optional>

namespace veldra::out {

const FormatTable& standard_formats() {
    static const FormatTable table = {grids_driver(), netcdf_driver(), gtiff_driver(), csv_driver()};
    return table;
}

const FormatDriver* find_format(const FormatTable& table, const std::string& name) {
    const auto found = std::find_if(table.begin(), table.end(), [&](const FormatDriver& d) { return d.name == name; });
    return found == table.end() ? nullptr : &*found;
}

std::string format_names(const FormatTable& table, const std::string& separator) {
    std::string names;
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (k > 0) names += !separator.empty() ? separator : k + 1 == table.size() ? " or " : ", ";
        names += table[k].name;
    }
    return names;
}

bool takes_option(const FormatDriver& driver, const std::string& option) {
    if (option == "--projection") return driver.can_project;
    return std::find(driver.options.begin(), driver.options.end(), option) != driver.options.end();
}

std::string option_refusal(const FormatTable& table, const FormatDriver& driver, const std::string& option) {
    if (const auto own = driver.refusals.find(option); own != driver.refusals.end()) return own->second;
    std::string takers;
    for (const FormatDriver& d : table) {
        if (!takes_option(d, option)) continue;
        if (!takers.empty()) takers += ", ";
        takers += d.name;
    }
    return option + " applies to --format " + takers + " only";
}

std::int64_t span_months(const CommandValues& values) {
    return (std::int64_t{values.last_year} - values.first_year + 1) * 12;
}

std::vector<std::string> with_field_options(std::vector<std::string> options) {
    for (const char* o : {"--summary", "--baseline", "--compare", "--baseline-period"}) options.push_back(o);
    return options;
}

PeriodFilePart period_file_part(const CommandValues& values) {
    if (values.request.plain()) return {};
    return [request = values.request, first = values.first_year, last = values.last_year](const fields::Period& p) {
        return out::period_file_part(request, p, first, last);
    };
}

std::int64_t span_fields(const CommandValues& values) {
    const std::optional<fields::Summary> summary = values.request.summary;
    if (!summary) return span_months(values);
    if (fields::spans_run(*summary)) return 1;
    if (*summary == fields::Summary::climatology) return 12;
    return span_months(values) / 12;
}

int exit_status(const ExportOutcome& outcome) {
    return outcome.failed || outcome.stopped || outcome.months_abandoned > 0 ? 1 : 0;
}

}  // namespace veldra::out
