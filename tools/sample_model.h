// The sample model: a small but complete model folder made from a land mask
// of the half-degree globe, so that the tools can be built, tried and timed
// without a real model run.
//
// The folder gets Parms/Output_List.vrl and, under Output/, the cell file
// (Rng_Data.vrd), the globe file (Globe.vrd) and five variable files for the
// years 2000 to 2004: Precip, max_temp, min_temp, Live_Biomass (herbs, shrubs,
// trees) and Snow_Depth.
//
// The climate is invented: smooth functions of latitude, longitude and the
// distance from the open sea, with a few regional bumps so that monsoons,
// deserts and cold interiors sit roughly where they do on Earth. Rangeland is
// every land cell of the mask except Antarctica, Greenland, deserts and cells
// too cold to grow anything. Nothing is random, so every run writes the same
// bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veldra::sample {

inline constexpr int kCols = 720;
inline constexpr int kRows = 360;
inline constexpr int kFirstYear = 2000;
inline constexpr int kLastYear = 2004;
// The cell file must stay within what the model was set up for.
inline constexpr int kMaxCells = 50000;

// The land of the globe: kRows rows from the north of kCols characters, "T"
// for land and "F" for water.
struct LandMask {
    std::vector<std::string> rows;
    bool land(int col, int row) const { return rows[row][col] == 'T'; }
};

// Reads the first kRows lines of `text` (CR LF or LF ends); raises
// veldra::Error naming `path` and the line when a line is not kCols
// characters T or F, or there are fewer lines.
LandMask parse_land_mask(std::string_view text, const std::string& path);

// How the land cells of the mask were sorted.
struct Census {
    int land = 0;
    int antarctica = 0;
    int greenland = 0;
    int cold = 0;
    int desert = 0;
    int rangeland = 0;
};

struct RangelandCell;

class SampleModel {
public:
    explicit SampleModel(LandMask mask);
    ~SampleModel();

    const Census& census() const { return census_; }

    // Writes the model into `folder`, making it and its Parms/ and Output/
    // when they are missing; every file is written as a whole under a new
    // temporary name and then put in place. Raises veldra::Error.
    void write(const std::string& folder) const;

private:
    LandMask mask_;
    std::vector<RangelandCell> cells_;
    Census census_;
};

}  // namespace veldra::sample
