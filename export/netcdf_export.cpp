#include "export/netcdf_export.h"

#include <hdf5.h>
#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <functional>
#include <cmath>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "export/cf/cf_layout.h"
#include "export/chunk_compressor.h"
#include "export/export_error.h"
#include "export/month_values.h"
#include "export/run_deflate.h"
#include "modelfiles/number_text.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/paths.h"
#include "modelfiles/valid_values.h"

namespace veldra::out {
namespace {

namespace fs = std::filesystem;

using cf::kFillValue;

// At least `width` digits, zeros in front; a sign before them.
std::string padded(std::int64_t v, int width) {
    std::string digits = files::integer_text(v < 0 ? -v : v);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return v < 0 ? "-" + digits : digits;
}

// The progress callback asked to stop.
struct StopRequested {};

std::string utc_now() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day ymd{day};
    const hh_mm_ss hms{now - day};
    return padded(static_cast<int>(ymd.year()), 4) + "-" + padded(static_cast<unsigned>(ymd.month()), 2) + "-" +
           padded(static_cast<unsigned>(ymd.day()), 2) + "T" + padded(hms.hours().count(), 2) + ":" +
           padded(hms.minutes().count(), 2) + ":" + padded(hms.seconds().count(), 2) + "Z";
}

// Empties a file without following a link, so that a file the library still
// holds open gives its space back once removed.
void empty_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        // Nothing more can be done; the file is removed all the same.
    }
    ::close(fd);
}

// The reason a library call failed, for a message "cannot be written: ...":
// the library's own words, and the system error behind them when there is
// one; with the code FileWriteError keeps (EIO when the system gave none).
struct WriteFailure {
    std::string reason;
    int code;
};

WriteFailure write_failure(std::string library_reason, int code) {
    const bool system = code == ENOSPC || code == EDQUOT || code == EFBIG || code == EIO || code == EROFS ||
                        code == EACCES || code == EPERM || code == ENOMEM;
    if (system) library_reason += " (" + std::error_code(code, std::generic_category()).message() + ")";
    return {std::move(library_reason), system ? code : EIO};
}

// The NetCDF file, created by the library at the temporary name of a
// ReplacingFile, which puts it in place or removes it. Every call goes
// through check(), which raises FileWriteError naming the file as the user
// will see it.
//
// After a failed call the library is not asked to close the file: closing
// flushes again, and a flush that fails there can crash the library. The
// handle is left open instead (the library closes it at exit), and the file
// is emptied, which gives its space back at once when it is removed.
class NetcdfFile {
public:
    NetcdfFile(std::string temporary, std::string shown) : temporary_(std::move(temporary)), shown_(std::move(shown)) {
        errno = 0;
        const int status = nc_create(temporary_.c_str(), NC_NETCDF4 | NC_CLOBBER, &id_);
        if (status != NC_NOERR) id_ = -1;
        check(status, "creating it under a temporary name beside it");
    }
    NetcdfFile(const NetcdfFile&) = delete;
    NetcdfFile& operator=(const NetcdfFile&) = delete;
    ~NetcdfFile() {
        if (id_ >= 0 && !broken_) {
            errno = 0;
            if (nc_sync(id_) == NC_NOERR) {
                nc_abort(id_);
                return;
            }
        }
        if (broken_ || id_ >= 0) empty_file(temporary_);
    }

    int id() const { return id_; }

    // Raises when `status` is a failure; `doing` says what was being done. A
    // system error since the last call is added to the library's reason.
    void check(int status, std::string_view doing) {
        const int code = errno;
        if (status == NC_NOERR) {
            errno = 0;
            return;
        }
        broken_ = true;
        const WriteFailure f = write_failure(std::string("cannot be written: ") + nc_strerror(status), code);
        throw files::FileWriteError(shown_, f.reason + ", while " + std::string(doing), f.code);
    }

    int dimension(const char* name, std::size_t length) {
        int dim = -1;
        check(nc_def_dim(id_, name, length, &dim), "defining its dimensions");
        return dim;
    }
    int variable(const std::string& name, nc_type type, std::vector<int> dims) {
        int var = -1;
        check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &var),
              "defining its variables");
        return var;
    }
    void text(int var, const char* name, std::string_view value) {
        check(nc_put_att_text(id_, var, name, value.size(), value.data()), "writing its attributes");
    }
    void number(int var, const char* name, double value) {
        check(nc_put_att_double(id_, var, name, NC_DOUBLE, 1, &value), "writing its attributes");
    }
    void bytes(int var, const char* name, const std::vector<signed char>& values) {
        check(nc_put_att_schar(id_, var, name, NC_BYTE, values.size(), values.data()), "writing its attributes");
    }
    // The attributes of a variable (or NC_GLOBAL), in their order.
    void attributes(int var, const cf::Attributes& list) {
        for (const cf::Attribute& a : list) {
            if (const auto* t = std::get_if<std::string>(&a.value)) text(var, a.name.c_str(), *t);
            else if (const auto* d = std::get_if<double>(&a.value)) number(var, a.name.c_str(), *d);
            else bytes(var, a.name.c_str(), std::get<std::vector<signed char>>(a.value));
        }
    }
    void put(int var, const std::vector<double>& values) {
        check(nc_put_var_double(id_, var, values.data()), "writing its coordinates");
    }

    // Writes what is held back and closes the file.
    void close() {
        check(nc_sync(id_), "finishing it");
        errno = 0;
        const int status = nc_close(std::exchange(id_, -1));
        check(status, "closing it");
    }

private:
    int id_ = -1;
    bool broken_ = false;
    std::string temporary_;
    std::string shown_;
};

// The data variable of the file NetCDF closed, opened again through HDF5 to
// write its chunks as they are stored: compressed elsewhere, with a filter
// mask of 0 (every filter of the variable applied). A failure leaves the file
// open and emptied, as NetcdfFile does.
class StoredChunks {
public:
    StoredChunks(std::string temporary, const std::string& variable, std::string shown)
        : temporary_(std::move(temporary)), shown_(std::move(shown)) {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        errno = 0;
        file_ = H5Fopen(temporary_.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
        check(file_, "opening it again to write its values");
        dataset_ = H5Dopen2(file_, variable.c_str(), H5P_DEFAULT);
        check(dataset_, "opening its variable to write its values");
    }
    StoredChunks(const StoredChunks&) = delete;
    StoredChunks& operator=(const StoredChunks&) = delete;
    ~StoredChunks() {
        if (broken_) {
            empty_file(temporary_);
            return;
        }
        if (dataset_ >= 0) H5Dclose(dataset_);
        if (file_ >= 0) H5Fclose(file_);
    }

    void extend(const std::vector<hsize_t>& dims) { check(H5Dset_extent(dataset_, dims.data()), "sizing its variable"); }
    void write(const std::vector<hsize_t>& offset, const unsigned char* data, std::size_t size, std::string_view doing) {
        check(H5Dwrite_chunk(dataset_, H5P_DEFAULT, 0, offset.data(), size, data), doing);
    }
    // A chunk of another variable.
    void write(const std::string& variable, const std::vector<hsize_t>& offset, const std::vector<unsigned char>& data,
               std::string_view doing) {
        const hid_t other = H5Dopen2(file_, variable.c_str(), H5P_DEFAULT);
        check(other, doing);
        const herr_t written = H5Dwrite_chunk(other, H5P_DEFAULT, 0, offset.data(), data.size(), data.data());
        H5Dclose(other);
        check(written, doing);
    }
    // Writes what is held back and closes the file.
    void close() {
        check(H5Fflush(file_, H5F_SCOPE_LOCAL), "finishing it");
        check(H5Dclose(std::exchange(dataset_, -1)), "finishing it");
        check(H5Fclose(std::exchange(file_, -1)), "closing it");
    }

private:
    void check(std::int64_t status, std::string_view doing) {
        const int code = errno;
        if (status >= 0) {
            errno = 0;
            return;
        }
        broken_ = true;
        const WriteFailure f = write_failure("cannot be written: HDF5 error", code);
        throw files::FileWriteError(shown_, f.reason + ", while " + std::string(doing), f.code);
    }

    hid_t file_ = -1, dataset_ = -1;
    bool broken_ = false;
    std::string temporary_;
    std::string shown_;
};

// Names the temporary file to the interrupt handler while it exists.
struct NamedTemporary {
    explicit NamedTemporary(const std::string& path) { files::register_temporary_file(path); }
    ~NamedTemporary() { files::clear_temporary_file(); }
    NamedTemporary(const NamedTemporary&) = delete;
    NamedTemporary& operator=(const NamedTemporary&) = delete;
};

// The checks of a source and the settings before anything is read; raises
// StopExport with the message of the first that fails.
void check_netcdf_source(const ExportSource& source, const NetcdfSettings& settings) {
    if (source.layer_count < 1 || source.layer < 1 || source.layer > source.layer_count)
        throw StopExport{kNothingToExport};
    if (settings.deflate_level < 0 || settings.deflate_level > kMaxDeflateLevel)
        throw StopExport{"Nothing was exported: the deflate level must be 0 to " + files::integer_text(kMaxDeflateLevel) +
                         ", not " + files::integer_text(settings.deflate_level) + "."};
    if (settings.last_year < settings.first_year)
        throw StopExport{"Nothing was exported: the last year " + files::integer_text(settings.last_year) +
                         " comes before the first, " + files::integer_text(settings.first_year) + "."};
    const std::int64_t cols = source.land.cols, rows = source.land.rows;
    if (cols <= 0 || rows <= 0 || source.land.land.size() != static_cast<std::size_t>(cols * rows))
        throw StopExport{"Nothing was exported: the model grid has no land and water mask."};
    if (!(source.cell_size > 0) || !std::isfinite(source.cell_size))
        throw StopExport{"Nothing was exported: the cell size " + files::plain_number(source.cell_size) +
                         " is not a positive number."};
    const std::int64_t n = source.cell_count;
    if (n < 0 || n > files::kMaxGridPositions)
        throw StopExport{"Nothing was exported: the cell count " + files::integer_text(n) + " is outside 0 to " +
                         files::integer_text(files::kMaxGridPositions) + "."};
}

// Where each cell lies in the grid (the last cell of a place stands), the
// land mask, and the chunks of a field.
//
// The variable is stored in chunks of one field of one layer over the whole
// grid. HDF5 holds a chunk below 4 GiB, so the rows of a larger grid are
// split among several chunks, the last one padded with fill.
struct ChunkPlan {
    // The cells of a chunk in the order of their positions there.
    struct Placed {
        std::vector<std::uint32_t> positions, cells;
    };
    std::int64_t cols = 0, rows = 0, chunk_rows = 0;
    std::vector<Placed> placed;  // by chunk of a grid
    std::vector<signed char> mask;
};

// Each cell of a chunk (its number and position there) in the order of their
// positions, the last cell of a place standing.
ChunkPlan::Placed in_position_order(std::vector<std::pair<std::uint32_t, std::uint32_t>> at_cell) {
    const auto by_position = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(at_cell.begin(), at_cell.end(), by_position))
        std::stable_sort(at_cell.begin(), at_cell.end(), by_position);
    ChunkPlan::Placed placed;
    for (std::size_t i = 0; i < at_cell.size(); ++i) {
        if (i + 1 < at_cell.size() && at_cell[i + 1].first == at_cell[i].first) continue;
        placed.positions.push_back(at_cell[i].first);
        placed.cells.push_back(at_cell[i].second);
    }
    return placed;
}

ChunkPlan plan_chunks(const ExportSource& source) {
    ChunkPlan plan;
    // A whole globe of a listed resolution holds its cells on the resolution's
    // grid, which may be a column and a row wider than the globe file's mask.
    const files::ModelGrid grid = source_grid(source);
    const std::int64_t cols = grid.cols, rows = grid.rows;
    plan.cols = cols;
    plan.rows = rows;
    std::int64_t chunk_rows = rows;
    while (chunk_rows > 1 && static_cast<std::uint64_t>(chunk_rows * cols) * sizeof(float) >= (std::uint64_t{1} << 32))
        chunk_rows = (chunk_rows + 1) / 2;
    plan.chunk_rows = chunk_rows;
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> placed(
        static_cast<std::size_t>((rows + chunk_rows - 1) / chunk_rows));
    plan.mask.assign(static_cast<std::size_t>(cols * rows), 0);
    // Row by row, from pointers held here (stores of bytes might otherwise
    // be taken to change the vectors and reload them at every byte).
    const std::uint8_t* from = source.land.land.data();
    signed char* to = plan.mask.data();
    const auto width = static_cast<std::size_t>(std::min<std::int64_t>(cols, source.land.cols));
    for (std::int64_t r = 0; r < std::min<std::int64_t>(rows, source.land.rows); ++r)
        std::copy_n(from + r * source.land.cols, width, to + r * cols);
    const auto cells =
        static_cast<std::size_t>(std::min<std::int64_t>(source.cell_count, static_cast<std::int64_t>(source.cells.size())));
    for (std::size_t i = 0; i < cells; ++i) {
        const files::RangeCell& c = source.cells[i];
        if (c.x < 1 || c.x > cols || c.y < 1 || c.y > rows) continue;
        const std::int64_t row = c.y - 1, position = row * cols + (c.x - 1);
        plan.mask[static_cast<std::size_t>(position)] = 2;
        placed[static_cast<std::size_t>(row / chunk_rows)].push_back(
            {static_cast<std::uint32_t>(position - row / chunk_rows * chunk_rows * cols), static_cast<std::uint32_t>(i)});
    }
    for (auto& p : placed) plan.placed.push_back(in_position_order(std::move(p)));
    return plan;
}

// The layers written and the fields of each.
struct Layers {
    std::int32_t first = 1, last = 1;
    bool layered = false;
    std::size_t count() const { return static_cast<std::size_t>(last - first + 1); }
};

// The variables of the file, as defined.
struct DefinedFile {
    int time = -1, time_bnds = -1, lat = -1, lat_bnds = -1, lon = -1, lon_bnds = -1;
    int layer = -1, label = -1, mask = -1, data = -1;
    std::string name;
};

// The text of a field's time in the status and in a failure: "2000-03" of a
// month, "2000" of a year, "03" of a calendar month, "2000-2009" of the span.
std::string field_time(const NetcdfSettings& settings, std::size_t t, const fields::Period& period) {
    if (t < settings.spans.size() && !settings.fields.climatology &&
        settings.spans[t].first_year != settings.spans[t].last_year)
        return files::integer_text(settings.spans[t].first_year) + "-" + files::integer_text(settings.spans[t].last_year);
    if (period.year == 0) return padded(period.month, 2);
    if (period.month == 0) return padded(period.year, 4);
    return padded(period.year, 4) + "-" + padded(period.month, 2);
}

// Dimensions, coordinates, the layers, crs and the land mask.
void define_axes(NetcdfFile& nc, const ExportSource& source, const NetcdfSettings& settings, const Layers& layers,
                 DefinedFile& d, int dims[4]) {
    const bool climatology = settings.fields.climatology;
    dims[0] = nc.dimension(cf::kTime, NC_UNLIMITED);
    dims[1] = layers.layered ? nc.dimension(cf::kLayer, layers.count()) : -1;
    const files::ModelGrid grid = source_grid(source);
    dims[2] = nc.dimension(cf::kLat, static_cast<std::size_t>(grid.rows));
    dims[3] = nc.dimension(cf::kLon, static_cast<std::size_t>(grid.cols));
    const int bnds_dim = nc.dimension(cf::kBounds, 2);

    d.time = nc.variable(cf::kTime, NC_DOUBLE, {dims[0]});
    nc.attributes(d.time, climatology ? cf::climatology_time_attributes(settings.first_year)
                                      : cf::time_attributes(settings.first_year));
    d.time_bnds = nc.variable(climatology ? cf::kClimatologyBounds : cf::kTimeBounds, NC_DOUBLE, {dims[0], bnds_dim});

    d.lat = nc.variable(cf::kLat, NC_DOUBLE, {dims[2]});
    nc.attributes(d.lat, cf::latitude_attributes(true));
    d.lat_bnds = nc.variable(cf::kLatBounds, NC_DOUBLE, {dims[2], bnds_dim});
    d.lon = nc.variable(cf::kLon, NC_DOUBLE, {dims[3]});
    nc.attributes(d.lon, cf::longitude_attributes(true));
    d.lon_bnds = nc.variable(cf::kLonBounds, NC_DOUBLE, {dims[3], bnds_dim});

    if (layers.layered) {
        d.layer = nc.variable(cf::kLayer, NC_INT, {dims[1]});
        nc.attributes(d.layer, cf::layer_attributes());
        d.label = nc.variable(cf::kLayerLabel, NC_STRING, {dims[1]});
        nc.attributes(d.label, cf::layer_label_attributes());
    }

    // Nothing is written to crs: it holds the library's fill value.
    static_assert(cf::kCrsValue == NC_FILL_INT);
    const int crs_var = nc.variable(cf::kCrs, NC_INT, {});
    nc.attributes(crs_var, cf::crs_attributes());

    d.mask = nc.variable(cf::kLandMask, NC_BYTE, {dims[2], dims[3]});
    nc.attributes(d.mask, cf::land_mask_attributes());
}

// The variable in the chunks of `plan`, and the global attributes.
void define_data(NetcdfFile& nc, const ExportSource& source, const NetcdfVariable& variable,
                 const NetcdfSettings& settings, const Layers& layers, const ChunkPlan& plan, DefinedFile& d,
                 const int dims[4]) {
    std::vector<int> data_dims = {dims[0], dims[2], dims[3]};
    std::vector<std::size_t> chunk = {1, static_cast<std::size_t>(plan.chunk_rows), static_cast<std::size_t>(plan.cols)};
    if (layers.layered) {
        data_dims.insert(data_dims.begin() + 1, dims[1]);
        chunk.insert(chunk.begin() + 1, 1);
    }
    const int id = nc.id();
    d.name = cf::variable_name(files::trim_blanks(source.file_name));
    d.data = nc.variable(d.name, NC_FLOAT, data_dims);
    nc.check(nc_def_var_chunking(id, d.data, NC_CHUNKED, chunk.data()), "defining its chunks");
    // The land mask in chunks of the same rows, written as the values are.
    const std::size_t mask_chunk[] = {static_cast<std::size_t>(plan.chunk_rows), static_cast<std::size_t>(plan.cols)};
    nc.check(nc_def_var_chunking(id, d.mask, NC_CHUNKED, mask_chunk), "defining its chunks");
    nc.check(nc_def_var_fill(id, d.data, 0, &kFillValue), "defining its fill value");
    const int level = settings.deflate_level;
    for (int var : {d.data, d.mask})
        if (level > 0) nc.check(nc_def_var_deflate(id, var, 1, 1, level), "defining its compression");
    const cf::FieldDescription& f = settings.fields;
    if (f.summary.empty() && f.compare.empty() && f.anomaly_years.empty()) {
        nc.attributes(d.data, cf::data_attributes(variable.label, variable.units, layers.layered));
    } else {
        cf::FieldDescription described = settings.fields;
        described.long_name = variable.label;
        described.units = variable.units;
        nc.attributes(d.data, cf::field_data_attributes(described, layers.layered));
    }

    std::error_code ec;
    const std::string variable_path = veldra::files::variable_path(source.model_folder, source.file_name);
    const fs::path model_folder = fs::absolute(files::path_to_open(source.model_folder), ec).lexically_normal();
    const fs::path variable_file = fs::absolute(files::path_to_open(variable_path), ec).lexically_normal();
    cf::RunDescription run;
    run.variable_label = variable.label;
    run.model_folder = model_folder.string();
    run.variable_file = variable_file.string();
    run.first_year = settings.first_year;
    run.last_year = settings.last_year;
    run.institution = settings.institution;
    run.history = utc_now() + ": " + settings.history;
    nc.attributes(NC_GLOBAL, cf::global_attributes(run));
    nc.check(nc_enddef(id), "defining it");
}

// What does not change with time, and the times of the fields.
void write_coordinates(NetcdfFile& nc, const ExportSource& source, const NetcdfVariable& variable,
                       const NetcdfSettings& settings, const Layers& layers, const ChunkPlan& plan,
                       const DefinedFile& d) {
    const int id = nc.id();
    const cf::Axis lat = cf::axis(settings.edges.south, settings.edges.north, plan.rows, source.cell_size, true);
    const cf::Axis lon = cf::axis(settings.edges.west, settings.edges.east, plan.cols, source.cell_size, false);
    nc.put(d.lat, lat.centres);
    nc.put(d.lat_bnds, lat.bounds);
    nc.put(d.lon, lon.centres);
    nc.put(d.lon_bnds, lon.bounds);
    if (layers.layered) {
        std::vector<int> numbers;
        std::vector<std::string> labels;
        for (std::int32_t l = layers.first; l <= layers.last; ++l) {
            numbers.push_back(l);
            const auto k = static_cast<std::size_t>(l - 1);
            labels.push_back(k < variable.layer_labels.size() && !variable.layer_labels[k].empty()
                                 ? variable.layer_labels[k]
                                 : cf::layer_label("layer", l));
        }
        std::vector<const char*> texts;
        for (const std::string& t : labels) texts.push_back(t.c_str());
        nc.check(nc_put_var_int(id, d.layer, numbers.data()), "writing its layers");
        const std::size_t start = 0, count = texts.size();
        nc.check(nc_put_vara_string(id, d.label, &start, &count, texts.data()), "writing its layers");
    }

    const cf::TimeAxis times = settings.spans.empty()
                                   ? cf::time_axis(settings.first_year, settings.last_year)
                                   : cf::span_axis(settings.first_year, settings.spans, settings.fields.climatology);
    const std::size_t time_start[] = {0, 0}, time_count[] = {times.middles.size(), 2};
    nc.check(nc_put_vara_double(id, d.time, time_start, time_count, times.middles.data()), "writing its times");
    nc.check(nc_put_vara_double(id, d.time_bnds, time_start, time_count, times.bounds.data()), "writing its times");
}

// The land mask, chunk by chunk (the last one padded with water), as it is
// (level 0) or coded as runs: shuffling bytes leaves them as they are.
void write_mask(StoredChunks& stored, ChunkPlan& plan, int level) {
    const auto size = static_cast<std::size_t>(plan.chunk_rows * plan.cols);
    const auto* mask = reinterpret_cast<const unsigned char*>(plan.mask.data());
    std::vector<unsigned char> bytes, stream;
    for (std::size_t from = 0; from < plan.mask.size(); from += size) {
        bytes.assign(mask + from, mask + std::min(plan.mask.size(), from + size));
        bytes.resize(size, 0);
        if (level > 0) deflate_runs(bytes.data(), bytes.size(), RunDeflater::kBlockBytes, stream);
        stored.write(std::string(cf::kLandMask), {from / size * static_cast<hsize_t>(plan.chunk_rows), 0},
                     level > 0 ? stream : bytes, "writing its land mask");
    }
    plan.mask = {};
}

// The values: field by field, each layer read and placed in its chunks,
// which are compressed on the threads and written in order.
void write_values(const std::string& temporary, const std::string& shown_path, const NetcdfSettings& settings,
                  const Layers& layers, ChunkPlan& plan, const std::string& name,
                  std::vector<std::unique_ptr<fields::FieldSource>>& sources,
                  const std::function<void(const std::string&)>& status, NetcdfOutcome& outcome) {
    StoredChunks stored(temporary, name, shown_path);
    write_mask(stored, plan, settings.deflate_level);
    const std::vector<fields::Period>& periods = sources.front()->periods();
    const std::size_t count = periods.size(), layer_count = layers.count();
    std::vector<hsize_t> extent = {count, static_cast<hsize_t>(plan.rows), static_cast<hsize_t>(plan.cols)};
    if (layers.layered) extent.insert(extent.begin() + 1, layer_count);
    stored.extend(extent);
    const std::size_t per_grid = plan.placed.size();
    const auto write = [&](std::size_t index, const unsigned char* data, std::size_t size) {
        const std::size_t k = index % per_grid, grid = index / per_grid, t = grid / layer_count;
        std::vector<hsize_t> at = {t, k * static_cast<hsize_t>(plan.chunk_rows), 0};
        if (layers.layered) at.insert(at.begin() + 1, grid % layer_count);
        stored.write(at, data, size, "writing " + field_time(settings, t, periods[t]));
    };
    const int threads = settings.threads > 0 ? settings.threads
                                             : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ChunkCompressor compressor(static_cast<std::size_t>(plan.chunk_rows * plan.cols), kFillValue,
                               settings.deflate_level, threads, write);
    fields::Field field;
    for (std::size_t t = 0; t < count; ++t) {
        status("Saving: " + shown_path + " (" + field_time(settings, t, periods[t]) + ")");
        for (const std::unique_ptr<fields::FieldSource>& layer : sources) {
            layer->read(t, field);
            const float* cell_values = field.values.data();
            for (const ChunkPlan::Placed& p : plan.placed) {
                std::vector<float>& values = compressor.next(p.positions);
                for (std::size_t j = 0; j < p.cells.size(); ++j) {
                    // Values outside the valid range are no data, as in every tool.
                    const float v = cell_values[p.cells[j]];
                    values[j] = files::in_valid_range(v) ? v : kFillValue;
                }
                compressor.submit();
            }
        }
        if (t + 1 == count) compressor.finish();
        ++outcome.months_written;
        status("");
    }
    stored.close();
}

}  // namespace

std::string netcdf_path(std::string_view folder, std::string_view root) {
    return files::with_trailing_separator(files::trim_blanks(folder)) + std::string(root) + ".nc";
}

NetcdfOutcome export_netcdf(const ExportSource& source, const NetcdfVariable& variable,
                            const NetcdfSettings& settings, files::FileAccess& files, const ExportProgress& progress) {
    const OpenFields months = monthly_fields(source, settings, fields::BadBlock::stop, files);
    return export_netcdf_fields(source, variable, settings, months, files, progress);
}

NetcdfOutcome export_netcdf_fields(const ExportSource& source, const NetcdfVariable& variable,
                                   const NetcdfSettings& settings, const OpenFields& open, files::FileAccess& files,
                                   const ExportProgress& progress) {
    // Before the library starts: a file left open after a failed write must
    // not be flushed and closed at exit, which can crash the library.
    H5dont_atexit();
    NetcdfOutcome outcome;
    const std::string shown_path = netcdf_path(settings.folder, settings.root);
    const auto status = [&](const std::string& text) {
        if (progress && !progress(ExportNote::status, text)) throw StopRequested{};
    };
    const auto message = [&](const std::string& text) {
        outcome.failed = true;
        if (progress) progress(ExportNote::message, text);
    };

    try {
        check_netcdf_source(source, settings);
        const Layers layers{settings.every_layer ? 1 : source.layer,
                            settings.every_layer ? source.layer_count : source.layer, source.layer_count > 1};
        // The fields of each layer; a block that does not match stops the export.
        std::vector<std::unique_ptr<fields::FieldSource>> sources;
        for (std::int32_t layer = layers.first; layer <= layers.last; ++layer) sources.push_back(open(layer));
        sources.back()->check_span();
        ChunkPlan plan = plan_chunks(source);

        const std::string final_path = files::path_to_open(shown_path);
        files::ReplacingFile replacing(final_path, files);
        replacing.release_output();
        const NamedTemporary named(replacing.temporary_path());
        std::optional<NetcdfFile> open_nc(std::in_place, replacing.temporary_path(), shown_path);
        DefinedFile defined;
        int dims[4];
        define_axes(*open_nc, source, settings, layers, defined, dims);
        define_data(*open_nc, source, variable, settings, layers, plan, defined, dims);
        write_coordinates(*open_nc, source, variable, settings, layers, plan, defined);
        open_nc->close();
        open_nc.reset();

        write_values(replacing.temporary_path(), shown_path, settings, layers, plan, defined.name, sources, status,
                     outcome);
        replacing.commit();
        outcome.path = shown_path;
    } catch (const StopRequested&) {
        outcome.stopped = true;
    } catch (const StopExport& e) {
        message(e.what());
    } catch (const files::ModelFileError& e) {
        message(e.what());
    } catch (const std::bad_alloc&) {
        message("The export needs more memory than there is.");
    }
    if (!outcome.path.empty()) return outcome;
    outcome.months_written = 0;
    return outcome;
}

}  // namespace veldra::out
