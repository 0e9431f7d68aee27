#include "export/gtiff_export.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "export/export_settings.h"
#include "export/lookup_grids.h"
#include "export/month_values.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/valid_values.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {
namespace {

constexpr float kNoData = -9999.0f;

std::string two_digits(std::int32_t month) {
    std::string text = integer_text(month);
    if (month >= 0 && month < 10) text.insert(text.begin(), '0');
    return text;
}

// GDAL's messages go to the failure that names the file, never to stderr.
class QuietGdal {
public:
    QuietGdal() {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
};

std::string gdal_says() {
    const char* text = CPLGetLastErrorMsg();
    return text && *text ? std::string(": ") + text : std::string();
}

GDALDriver* gdal_driver(const char* name) {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(name);
    if (!driver) throw StopExport{std::string("Nothing was exported: GDAL has no ") + name + " driver."};
    return driver;
}

struct DatasetCloser {
    void operator()(GDALDataset* d) const { GDALClose(GDALDataset::ToHandle(d)); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

// A north-up geotransform from the south-west corner, the cell size and the rows.
std::array<double, 6> geotransform(double west, double south, double cell, std::int64_t rows) {
    return {west, cell, 0.0, south + static_cast<double>(rows) * cell, 0.0, -cell};
}

// The months of one file, made as an in-memory raster and copied into a
// Cloud-Optimized GeoTIFF in GDAL's memory file system.
class GtiffMaker {
public:
    GtiffMaker(const WriteOrder& order, int bands, const std::array<double, 6>& transform, int projection,
               const ExportSource& source)
        : cols_(static_cast<int>(order.cols)), rows_(static_cast<int>(order.rows)), bands_(bands) {
        QuietGdal quiet;
        GDALDriver* mem = gdal_driver("MEM");
        cog_ = gdal_driver("COG");
        data_.reset(mem->Create("", cols_, rows_, bands_, GDT_Float32, nullptr));
        if (!data_) throw StopExport{"The export needs more memory than there is" + gdal_says()};
        double gt[6];
        std::copy(transform.begin(), transform.end(), gt);
        OGRSpatialReference crs;
        const std::string code(projection_crs(projection));
        if (crs.SetFromUserInput(code.c_str()) != OGRERR_NONE)
            throw StopExport{"Nothing was exported: GDAL does not know the reference system " + code + gdal_says()};
        crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        if (data_->SetGeoTransform(gt) != CE_None || data_->SetSpatialRef(&crs) != CE_None)
            throw StopExport{"Nothing was exported: GDAL cannot place the grid" + gdal_says()};
        data_->SetMetadataItem("variable", std::string(trim_blanks(source.file_name)).c_str());
        data_->SetMetadataItem("layer", integer_text(source.layer).c_str());
        for (int b = 1; b <= bands_; ++b) data_->GetRasterBand(b)->SetNoDataValue(kNoData);
    }

    // Band `band` (from 1) holds the values of `block` (extended by its two
    // marks) in the order of the output grid, and is described as `label`.
    // Every place without a value is NoData: outside the outline, land
    // without a cell and water (the two marks), and a cell whose value lies
    // outside the valid range.
    void set_band(int band, const WriteOrder& order, const std::vector<float>& block, const std::string& label) {
        values_.resize(order.slot.size());
        const std::size_t marks = block.size() - 2;
        for (std::size_t k = 0; k < order.slot.size(); ++k) {
            const std::int32_t s = order.slot[k];
            const auto slot = static_cast<std::size_t>(s);
            const float v = s < 0 || slot >= marks ? kNoData : block[slot];
            values_[k] = in_valid_range(v) ? v : kNoData;
        }
        QuietGdal quiet;
        GDALRasterBand* b = data_->GetRasterBand(band);
        b->SetDescription(label.c_str());
        if (b->RasterIO(GF_Write, 0, 0, cols_, rows_, values_.data(), cols_, rows_, GDT_Float32, 0, 0, nullptr) !=
            CE_None)
            throw StopExport{"The export cannot place the values of " + label + gdal_says()};
    }

    // The bytes of the file; `path` names it in a failure.
    std::string make(const std::string& path) {
        static std::atomic<unsigned long> serial{0};
        const std::string name = "/vsimem/veldra_export_" + integer_text(static_cast<std::int64_t>(++serial)) + ".tif";
        const char* const options[] = {"COMPRESS=DEFLATE", "PREDICTOR=FLOATING_POINT", "BLOCKSIZE=256",
                                       "OVERVIEWS=AUTO",   "RESAMPLING=NEAREST",       "BIGTIFF=IF_SAFER",
                                       nullptr};
        QuietGdal quiet;
        Dataset made(cog_->CreateCopy(name.c_str(), data_.get(), FALSE, const_cast<char**>(options), nullptr, nullptr));
        bool ok = made != nullptr;
        made.reset();  // writes what is left; a failure shows as GDAL's last error
        ok = ok && CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
        const std::string failure = gdal_says();
        vsi_l_offset length = 0;
        GByte* bytes = VSIGetMemFileBuffer(name.c_str(), &length, TRUE);
        std::unique_ptr<GByte, decltype(&VSIFree)> owned(bytes, &VSIFree);
        VSIUnlink(name.c_str());
        if (!ok || !bytes) throw StopExport{path + ": GDAL cannot make the GeoTIFF" + failure};
        return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }

private:
    int cols_, rows_, bands_;
    GDALDriver* cog_ = nullptr;
    Dataset data_;
    std::vector<float> values_;
};

}  // namespace

std::string_view projection_crs(int projection) {
    return projection >= 0 && projection < kProjectionCount ? kProjectionTable[projection].crs : std::string_view{};
}

std::string gtiff_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month) {
    if (month != 0) {
        std::string path = month_grid_path(folder, root, year, month);
        return path.replace(path.size() - 4, 4, ".tif");
    }
    return with_trailing_separator(trim_blanks(folder)) + std::string(root) + "_" + integer_text(year) + ".tif";
}

ExportOutcome export_gtiffs(const ExportSource& source, const GtiffSettings& settings, const LookupPlaces& places,
                            FileAccess& files, const ExportProgress& progress) {
    ExportOutcome outcome;
    const ExportNotes notes = export_notes(progress, outcome);
    const auto& status = notes.status;
    const auto& message = notes.message;

    try {
        check_month_source(source, settings.projection);
        const std::int64_t n = source.cell_count;
        const ModelGrid grid = source_grid(source);
        if (settings.projection != 0)
            require_whole_globe(source, grid, "GeoTIFFs in the " +
                                                  std::string(projection_names(settings.projection).caption) +
                                                  " projection");

        WriteOrder order;
        std::array<double, 6> transform{};
        std::string grid_name;  // names the output grid in a failure
        if (grid.whole_globe) {
            std::optional<LookedUp> looked_up = look_up(source, grid, settings.projection, places, files, status);
            if (!looked_up) return outcome;
            order = std::move(looked_up->order);
            const LookupPlace& p = looked_up->place;
            transform = geotransform(p.west, p.south, p.cell, order.rows);
            grid_name = looked_up->ids;
        } else {
            // A regional window: the model grid itself, placed by the cell file.
            order = model_order(grid, model_slots(source, grid, n));
            transform = geotransform(grid.west, grid.south, grid.cell, grid.rows);
            grid_name = cell_file_path(source);
        }
        if (order.cols > INT32_MAX || order.rows > INT32_MAX)
            throw StopExport{grid_name + ": the grid is too large for a GeoTIFF."};

        const std::string variable_path = veldra::variable_path(source.model_folder, source.file_name);
        const VariableFile variable = VariableFile::open(path_to_open(variable_path), files);
        GtiffMaker maker(order, settings.bands ? 12 : 1, transform, settings.projection, source);
        std::vector<float> block;

        // The month's block, checked; false (its message given) for one that
        // fails the check of its leading records.
        const auto read_month = [&](std::int32_t year, std::int32_t month) {
            const BlockAddress address{year, month, source.layer, source.first_year, source.layer_count, n};
            if (const std::optional<std::string> mismatch =
                    read_month_block(variable, variable_path, address, block)) {
                ++outcome.months_abandoned;
                if (!message(*mismatch)) outcome.stopped = true;
                return false;
            }
            return true;
        };
        const auto write_file = [&](const std::string& path, std::int32_t months) {
            replace_file(path_to_open(path), maker.make(path), files);
            outcome.months_written += months;
            outcome.grids.push_back(path);
            return status("");
        };

        for (std::int64_t y = settings.first_year; y <= settings.last_year; ++y) {
            const auto year = static_cast<std::int32_t>(y);
            if (settings.bands) {
                const std::string path = gtiff_path(settings.folder, settings.root, year, 0);
                if (!status("Saving: " + path)) return outcome;
                bool whole = true;
                for (std::int32_t month = 1; month <= 12; ++month) {
                    if (!read_month(year, month)) {
                        if (outcome.stopped) return outcome;
                        whole = false;
                        continue;
                    }
                    maker.set_band(month, order, block, integer_text(year) + "-" + two_digits(month));
                }
                if (!whole) files.remove(path_to_open(path));
                else if (!write_file(path, 12)) return outcome;
                continue;
            }
            for (std::int32_t month = 1; month <= 12; ++month) {
                const std::string path = gtiff_path(settings.folder, settings.root, year, month);
                if (!status("Saving: " + path)) return outcome;
                if (!read_month(year, month)) {
                    files.remove(path_to_open(path));
                    if (outcome.stopped) return outcome;
                    continue;
                }
                maker.set_band(1, order, block, integer_text(year) + "-" + two_digits(month));
                if (!write_file(path, 1)) return outcome;
            }
        }
    } catch (const StopExport& e) {
        outcome.failed = true;
        message(e.what());
    } catch (const ModelFileError& e) {
        outcome.failed = true;
        message(e.what());
    } catch (const std::bad_alloc&) {
        outcome.failed = true;
        message("The export needs more memory than there is.");
    }
    return outcome;
}

}  // namespace veldra::viewer
