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
#include "fields/gdal_handles.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/valid_values.h"

namespace veldra::out {
namespace {

constexpr float kNoData = -9999.0f;

using fields::QuietGdal;

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

using fields::Dataset;

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
        data_->SetMetadataItem("variable", std::string(files::trim_blanks(source.file_name)).c_str());
        data_->SetMetadataItem("layer", files::integer_text(source.layer).c_str());
        for (int b = 1; b <= bands_; ++b) data_->GetRasterBand(b)->SetNoDataValue(kNoData);
    }

    // Band `band` (from 1) holds the values of `block` (a field's values
    // with_marks) in the order of the output grid, and is described as `label`.
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
            values_[k] = files::in_valid_range(v) ? v : kNoData;
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
        const std::string name = "/vsimem/veldra_export_" + files::integer_text(static_cast<std::int64_t>(++serial)) + ".tif";
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

// The fields of export_gtiff_fields through the output grid `out`: a file
// for each field, or with `bands` for each year's run of fields.
void write_gtiffs(const GtiffSettings& settings, const LookedUp& out, fields::FieldSource& source,
                  const ExportSource& model, files::FileAccess& files, const ExportNotes& notes, ExportOutcome& outcome,
                  const PeriodFilePart& part) {
    const WriteOrder& order = out.order;
    GtiffMaker maker(order, settings.bands ? 12 : 1,
                     geotransform(out.place.west, out.place.south, out.place.cell, order.rows), settings.projection,
                     model);
    const std::vector<fields::Period>& periods = source.periods();
    fields::Field field;
    for (std::size_t k = 0; k < periods.size();) {
        std::size_t end = k + 1;
        if (settings.bands)
            while (end < periods.size() && periods[end].year == periods[k].year) ++end;
        const auto months = static_cast<std::int32_t>(end - k);
        const std::string path =
            settings.bands ? gtiff_path(settings.folder, settings.root, periods[k].year, 0)
                           : field_file_path(settings.folder, settings.root, periods[k], part, ".tif");
        if (!notes.status("Saving: " + path)) return;
        bool whole = true;
        for (; k < end; ++k) {
            const fields::FieldRead read = source.read(k, field);
            if (read.kind == fields::FieldRead::Kind::stopped) {
                outcome.stopped = true;
                return;
            }
            if (read.kind == fields::FieldRead::Kind::skipped) {
                whole = false;
                if (abandon_month(outcome, notes, read.note)) continue;
                if (!settings.bands) files.remove(files::path_to_open(path));
                return;
            }
            maker.set_band(settings.bands ? periods[k].month : 1, order, with_marks(field, model.cell_count),
                           field.label);
        }
        if (!whole) {
            files.remove(files::path_to_open(path));
            continue;
        }
        replace_file(files::path_to_open(path), maker.make(path), files);
        outcome.months_written += months;
        outcome.grids.push_back(path);
        if (!notes.status("")) return;
    }
}

}  // namespace

std::string_view projection_crs(int projection) {
    return projection >= 0 && projection < kProjectionCount ? kProjectionTable[projection].crs : std::string_view{};
}

std::string gtiff_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month) {
    if (month != 0) {
        std::string path = month_grid_path(folder, root, year, month);
        return path.replace(path.size() - 4, 4, ".tif");
    }
    return files::with_trailing_separator(files::trim_blanks(folder)) + std::string(root) + "_" + files::integer_text(year) + ".tif";
}

ExportOutcome export_gtiffs(const ExportSource& source, const GtiffSettings& settings, const LookupPlaces& places,
                            files::FileAccess& files, const ExportProgress& progress) {
    const OpenFields months = monthly_fields(source, settings, fields::BadBlock::skip, files);
    return export_gtiff_fields(source, settings, places, months, files, progress);
}

ExportOutcome export_gtiff_fields(const ExportSource& source, const GtiffSettings& settings,
                                  const LookupPlaces& places, const OpenFields& open, files::FileAccess& files,
                                  const ExportProgress& progress, const PeriodFilePart& part) {
    ExportOutcome outcome;
    const ExportNotes notes = export_notes(progress, outcome);
    run_guarded(outcome, notes, [&] {
        check_month_source(source, settings.projection);
        const std::string window_refused =
            settings.projection == 0
                ? std::string()
                : "GeoTIFFs in the " + std::string(projection_names(settings.projection).caption) + " projection";
        std::optional<LookedUp> out =
            plan_output(source, settings.projection, window_refused, places, files, notes.status);
        if (!out) return;
        if (out->order.cols > INT32_MAX || out->order.rows > INT32_MAX)
            throw StopExport{out->ids + ": the grid is too large for a GeoTIFF."};
        const std::unique_ptr<fields::FieldSource> fields = open(source.layer);
        write_gtiffs(settings, *out, *fields, source, files, notes, outcome, part);
    });
    return outcome;
}

}  // namespace veldra::out
