// What the map shows beyond a single month: a summary of the run (the
// year's mean, the month's climatology, the run mean, the trend per decade),
// each read through the field sources of fields/, and this run against a
// baseline run (this run minus the baseline, cells paired by position). And
// the series of a region (a box drawn on the map, or the zone of a cell):
// the area-weighted mean of its valid cells, month by month.
//
// Every value passes the valid-value rule (in_valid_range); NaN is no data,
// which the statistics and the painting leave out as they do any value
// outside the valid range. The reads run on the caller's thread: a run mean
// of the sample (5 years of 49,216 cells) reads 60 blocks.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields/baseline_source.h"
#include "fields/regions.h"
#include "viewer/core/cell_query.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

enum class MapShow { month, year_mean, climatology, run_mean, trend };

// "month", "year-mean", "climatology", "run-mean", "trend"; nothing for any other name.
std::optional<MapShow> map_show_named(std::string_view name);

// What a map of `show` stands for, shown in a run of the years
// first_year..last_year at `year` and `month`: "mean of 2001",
// "climatology of July", "mean 2000-2004", "trend per decade 2000-2004";
// empty for the month, which the window names as before.
std::string show_label(MapShow show, int year, int month, int first_year, int last_year);

// Another run to subtract from this one: its folder (as given) and the
// pairing of this run's cells with its cells by position on the grid.
struct BaselineRun {
    std::string folder;  // as the user chose it
    std::string name;    // the folder's own name, as the legend shows it
    files::LoadedModel model;
    fields::CellPairing pairing;
};

// Loads the run in `folder` and pairs its cells with those of `state`.
// Raises LoadError or ModelFileError (the grids differ, or a cell of this run
// has no cell of the baseline at its position) with the message to show.
BaselineRun load_baseline(const ViewerState& state, const std::string& folder);

// The values of the map for the selected variable and layer: `show` at
// `year` and `month`, less the same field of `baseline` when one is given
// (the baseline's own years for a run mean, a trend or a climatology).
struct ShownField {
    std::vector<float> values;  // one per cell, in CellTable order; NaN for no data
    std::string message;        // why nothing could be read, else empty
    bool ok() const { return message.empty(); }
};
ShownField read_shown_field(const ViewerState& state, MapShow show, int year, int month,
                            const BaselineRun* baseline = nullptr);

// The last field read_shown_field gave, kept with what it stands for, so that
// a redraw or a step of the month over a run mean, a trend (and of the year
// over a climatology) reads the run once, not at every step. A field that
// could not be read is not kept.
class ShownFieldCache {
public:
    ShownField read(const ViewerState& state, MapShow show, int year, int month, const BaselineRun* baseline);

private:
    std::string key_;
    std::vector<float> values_;
};

// What the legend says after the units for a map of `show` (show_label) and
// a baseline named `baseline_name`: ", mean of 2001 minus base_run"; empty
// for a month.
std::string shown_note(MapShow show, int year, int month, int first_year, int last_year,
                       const std::string& baseline_name);

// The units of the selected variable (trimmed) and what the map shows
// beyond the month, as the legend's caption starts.
std::string legend_units(const ViewerState& state);

// The region whose series the chart shows, as RegionSet region 0.
struct ChartRegion {
    fields::RegionSet regions;  // one region
    std::string name;           // "zone 3", "box 10.5W-2E 4S-8.25N"
};

// The box of longitude and latitude between two map points (in map units:
// cells from the grid's centre), whichever corners they are.
fields::Box box_between(const ViewerState& state, double x0, double y0, double x1, double y1);
ChartRegion box_region(const ViewerState& state, const fields::Box& box);
// The zone of cell `cell` (0-based, in CellTable order).
ChartRegion zone_region(const ViewerState& state, std::size_t cell);

// Whether a press held with Shift and let go `dx`, `dy` pixels away draws
// a box: a move of more than 5 pixels in either direction.
bool draws_box(double dx, double dy);

// The area mean of region 0 for each month of the run of `source`: nothing
// for a month without a valid cell in the region; the failure when the file
// could not be read.
MonthlySeries read_region_series(const ViewerState& state, const SeriesSource& source, const ChartRegion& region);

// The chart's name of a region's series: "Precip, layer 1, zone 3 (area mean)",
// its legend and the header of its column in CSV.
std::string region_series_name(const SeriesSource& source, const ChartRegion& region);
// The name a saved CSV of a region's series is offered under:
// "Precip_L1_zone_3.csv", "Precip_L1_box_-10_-5_20_15.csv".
std::string region_csv_name(const SeriesSource& source, const ChartRegion& region);

}  // namespace veldra::viewer
