// veldra._veldra: the readers of modelfiles as Python sees them. The model's
// text files are read by load_model_files, as the viewer and veldra_export
// read them, and blocks of a variable file by read_block with the three
// checks of the exports, so that every rule, limit and message holds in
// Python too. Every error becomes veldra.ModelError (a ValueError) or, for a
// file that cannot be opened, veldra.FileOpenError (also an OSError), with
// our message as its text. The submodule cf is the CF layout of the NetCDF
// export, from which the datasets take their names, axes, times and
// attributes.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "export/cf/cf_layout.h"
#include "fields/field_source.h"
#include "modelfiles/file_io.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/resolutions.h"
#include "modelfiles/valid_values.h"
#include "modelfiles/variable_file.h"
#include "modelfiles/viewer_model.h"

namespace py = pybind11;

namespace veldra::python {
namespace {

using files::integer_text;

using cf::kFillValue;

PyObject* model_error = nullptr;
PyObject* open_error = nullptr;

// A text of the model's files for Python: UTF-8, with any other byte kept as
// os.fsdecode keeps it, so that a path goes back to the system unchanged.
py::str text(const std::string& s) {
    PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape");
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(o);
}

void raise(PyObject* type, const char* message) {
    PyObject* o = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace");
    if (!o) return;
    PyErr_SetObject(type, o);
    Py_DECREF(o);
}

// Where the variable of a run stands in its file, and which of its cells are read.
struct Span {
    std::int32_t first_year = 0;
    std::int32_t layers = 1;
    std::int64_t cell_count = 0;
    std::int64_t first_cell = 0;  // 0-based, in cell-file order
    std::int64_t cells = 0;       // how many from first_cell
};

// Reads the values of `span` from the block of (year, month, layer) into
// `dest` after the checks of the exports: the block lies in the file and its
// three leading records hold the cell count, the year and the month: two
// reads, the leading records and then the cells. Raises ModelFileError with
// the message of the first check that fails; with `nan_bad_blocks`, a
// leading record that does not match instead makes the values NaN and
// returns the message.
std::optional<std::string> read_checked_values(const files::VariableFile& file, const std::string& path, const Span& span,
                                               std::int32_t year, std::int32_t month, std::int32_t layer, float* dest,
                                               std::vector<float>& block, bool nan_bad_blocks) {
    const files::BlockAddress a{year, month, layer, span.first_year, span.layers, span.cell_count};
    // The leading records, then the cells straight into `dest`: no copy of the block.
    const files::CheckedBlock b = read_checked_leading(file, a, block);
    const fields::BadBlock policy = nan_bad_blocks ? fields::BadBlock::nan : fields::BadBlock::stop;
    if (fields::judge_block(b, policy, path, a, block.data()) == fields::FieldRead::Kind::nan) {
        std::fill(dest, dest + span.cells, std::numeric_limits<float>::quiet_NaN());
        return leading_record_message(path, a, b, block.data());
    }
    // The cells in pieces that stay in the cache while the fill value and the
    // values outside the valid range become NaN (no data): one pass over the
    // array, not a read and then a second pass over memory.
    constexpr std::int64_t piece = 32 * 1024;
    const std::int64_t first = b.records.first_record + 3 + span.first_cell;
    for (std::int64_t done = 0; done < span.cells; done += piece) {
        float* const v = dest + done;
        const std::size_t n = static_cast<std::size_t>(std::min(piece, span.cells - done));
        file.read_records(first + done, n, v);
        // No branch, so that the compiler takes several values at once.
        for (std::size_t i = 0; i < n; ++i)
            v[i] = v[i] == kFillValue || !files::in_valid_range(v[i]) ? std::numeric_limits<float>::quiet_NaN() : v[i];
    }
    return std::nullopt;
}

// The records of a variable file; fails, as the exports do before they
// write anything, when the last block of the run lies past its end.
std::int64_t check_variable_file(const std::string& path, std::int32_t first_year, std::int32_t last_year,
                                 std::int32_t layers, std::int64_t cell_count) {
    const files::VariableFile file = files::VariableFile::open(files::path_to_open(path));
    const files::BlockAddress last{last_year, 12, layers, first_year, layers, cell_count};
    if (const std::optional<std::string> past_end = last_block_past_end(path, file, last))
        throw files::ModelFileError(*past_end + ".");
    return file.record_count();
}

// The values of cells first_cell .. first_cell + cells - 1 of the blocks
// (years[i], months[i], layer_numbers[j]), as an array of
// (len(years), len(layer_numbers), cells). The file is opened for the call.
py::tuple read_values(const std::string& path, std::int32_t first_year, std::int32_t layers, std::int64_t cell_count,
                      py::array_t<std::int32_t, py::array::c_style> years,
                      py::array_t<std::int32_t, py::array::c_style> months,
                      py::array_t<std::int32_t, py::array::c_style> layer_numbers, std::int64_t first_cell,
                      std::int64_t cells, bool nan_bad_blocks) {
    if (years.ndim() != 1 || months.ndim() != 1 || layer_numbers.ndim() != 1 || years.size() != months.size())
        throw py::value_error("read_values: years and months are one list of the same length, layers another");
    if (cell_count < 0 || first_cell < 0 || cells < 0 || first_cell + cells > cell_count)
        throw py::value_error("read_values: cells " + files::integer_text(first_cell) + " to " +
                              files::integer_text(first_cell + cells - 1) + " are not among the " + files::integer_text(cell_count) +
                              " cells");
    const py::ssize_t times = years.size(), nlayers = layer_numbers.size();
    py::array_t<float> out({times, nlayers, static_cast<py::ssize_t>(cells)});
    const std::int32_t* y = years.data();
    const std::int32_t* m = months.data();
    const std::int32_t* l = layer_numbers.data();
    float* dest = out.mutable_data();
    const Span span{first_year, layers, cell_count, first_cell, cells};
    std::vector<std::string> notes;
    {
        py::gil_scoped_release unlocked;
        const files::VariableFile file = files::VariableFile::open(files::path_to_open(path));
        std::vector<float> block;
        for (py::ssize_t t = 0; t < times; ++t)
            for (py::ssize_t k = 0; k < nlayers; ++k, dest += cells)
                if (auto note = read_checked_values(file, path, span, y[t], m[t], l[k], dest, block, nan_bad_blocks))
                    notes.push_back(std::move(*note));
    }
    py::list said;
    for (const std::string& note : notes) said.append(text(note));
    return py::make_tuple(out, said);
}

template <typename Field>
py::array_t<std::int32_t> cell_column(const std::vector<files::RangeCell>& cells, Field field) {
    py::array_t<std::int32_t> out(static_cast<py::ssize_t>(cells.size()));
    std::int32_t* p = out.mutable_data();
    for (const files::RangeCell& c : cells) *p++ = c.*field;
    return out;
}

// The output list, the cell file and the globe file of a model folder; the
// globe file's land and water as an array only when `land` is asked for.
py::dict load_model(const std::string& folder, bool land) {
    files::LoadedModel model;
    {
        py::gil_scoped_release unlocked;
        model = files::load_model_files(folder);
        files::check_run_years(model);
        files::check_calendar_years(model);
    }
    py::list entries;
    for (const files::OutputEntry& e : model.OutputTable) {
        py::dict entry;
        const std::optional<std::string> fault = files::variable_entry_fault(e, model.list_path());
        entry["fault"] = fault ? py::object(text(*fault)) : py::object(py::none());
        entry["file_name"] = text(e.FileName);
        entry["layer_count"] = e.LayerCount;
        entry["layer_label"] = text(e.LayerLabel);
        entry["units"] = text(e.Units);
        entry["path"] = text(model.variable_path(e));
        entries.append(entry);
    }
    const files::ViewerGridInfo& g = model.GridInfo;
    py::dict grid;
    grid["cell_count"] = g.cellCount;
    grid["columns"] = g.xDimension;
    grid["rows"] = g.yDimension;
    grid["west"] = g.lowerX;
    grid["south"] = g.lowerY;
    grid["east"] = g.upperX;
    grid["north"] = static_cast<double>(g.upperY);
    grid["cell_size"] = static_cast<double>(g.cellSize);
    grid["first_year"] = model.first_year();
    grid["last_year"] = static_cast<int>(g.lastYear);

    py::dict cells;
    cells["number"] = cell_column(model.CellTable, &files::RangeCell::cellNumber);
    cells["zone"] = cell_column(model.CellTable, &files::RangeCell::zone);
    cells["x"] = cell_column(model.CellTable, &files::RangeCell::x);
    cells["y"] = cell_column(model.CellTable, &files::RangeCell::y);
    cells["range_type"] = cell_column(model.CellTable, &files::RangeCell::rangeType);

    // The land and water of the grid the cells lie on: for a whole globe of a
    // listed resolution the resolution's grid, which may be a column and a
    // row wider than the globe file's mask (water there), as the exports hold it.
    const files::GlobeMask& mask = model.GlobeMask;
    const files::ModelGrid on = files::model_grid({g.lowerX, g.lowerY, g.upperX, static_cast<double>(g.upperY)}, g.cellSize,
                                    mask.cols, mask.rows);
    py::dict out;
    out["shape"] = py::make_tuple(on.rows, on.cols);
    if (land) {
        py::array_t<std::uint8_t> array({static_cast<py::ssize_t>(on.rows), static_cast<py::ssize_t>(on.cols)});
        std::fill(array.mutable_data(), array.mutable_data() + on.rows * on.cols, std::uint8_t{0});
        for (std::int64_t r = 0; r < std::min<std::int64_t>(on.rows, mask.rows); ++r)
            std::copy_n(mask.land.begin() + r * mask.cols, std::min<std::int64_t>(on.cols, mask.cols),
                        array.mutable_data() + r * on.cols);
        out["land"] = array;
    }
    out["folder"] = text(model.ModelFolder);
    out["entries"] = entries;
    out["grid"] = grid;
    out["cells"] = cells;
    py::list warnings;
    for (const std::string& w : model.warnings) warnings.append(text(w));
    out["warnings"] = warnings;
    return out;
}

// An attribute list as a dict in its order: texts as str, numbers as
// float, bytes as an int8 array.
py::dict attribute_dict(const cf::Attributes& list) {
    py::dict out;
    for (const cf::Attribute& a : list) {
        py::object value;
        if (const auto* t = std::get_if<std::string>(&a.value)) {
            value = text(*t);
        } else if (const auto* d = std::get_if<double>(&a.value)) {
            value = py::float_(*d);
        } else {
            const auto& bytes = std::get<std::vector<signed char>>(a.value);
            py::array_t<std::int8_t> array(static_cast<py::ssize_t>(bytes.size()));
            std::copy(bytes.begin(), bytes.end(), array.mutable_data());
            value = array;
        }
        out[text(a.name)] = value;
    }
    return out;
}

// Values and their bounds, the bounds as (n, 2).
py::tuple with_bounds(const std::vector<double>& values, const std::vector<double>& bounds) {
    const auto n = static_cast<py::ssize_t>(values.size());
    py::array_t<double> v(n), b({n, py::ssize_t{2}});
    std::copy(values.begin(), values.end(), v.mutable_data());
    std::copy(bounds.begin(), bounds.end(), b.mutable_data());
    return py::make_tuple(v, b);
}

void define_cf(py::module_& m) {
    m.doc() = "The CF layout of veldra_export's NetCDF files: names, axes, times and attributes.";
    for (const char* name : cf::kNames) {
        std::string constant = name;
        for (char& c : constant) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        m.attr(constant.c_str()) = name;
    }
    m.attr("FILL_VALUE") = kFillValue;
    m.attr("CRS_VALUE") = cf::kCrsValue;
    m.def("variable_name", [](const std::string& file_name) { return text(cf::variable_name(file_name)); },
          py::arg("file_name"), "The name of the variable of a file name (bytes).");
    m.def("layer_label", [](const std::string& word, std::int32_t layer) { return text(cf::layer_label(word, layer)); },
          py::arg("word"), py::arg("layer"), "The label of a layer, from the output list's word for the layers.");
    m.def("axis", [](double low, double high, std::int64_t count, double cell_size, bool north_first) {
            if (count < 0) throw py::value_error("axis: the count of cells is below 0");
            const cf::Axis a = cf::axis(low, high, count, cell_size, north_first);
            return with_bounds(a.centres, a.bounds);
        }, py::arg("low"), py::arg("high"), py::arg("count"), py::arg("cell_size"), py::arg("north_first"),
          "Cell centres and their bounds (n, 2) along one axis of the grid.");
    m.def("time_axis", [](std::int32_t first_year, std::int32_t last_year) {
            const cf::TimeAxis t = cf::time_axis(first_year, last_year);
            return with_bounds(t.middles, t.bounds);
        }, py::arg("first_year"), py::arg("last_year"),
          "Mid-month days since January 1 of first_year, and the months' bounds (n, 2).");
    m.def("time_attributes", [](std::int32_t first_year) { return attribute_dict(cf::time_attributes(first_year)); },
          py::arg("first_year"));
    m.def("latitude_attributes", [](bool bounded) { return attribute_dict(cf::latitude_attributes(bounded)); },
          py::arg("bounded"));
    m.def("longitude_attributes", [](bool bounded) { return attribute_dict(cf::longitude_attributes(bounded)); },
          py::arg("bounded"));
    m.def("layer_attributes", [] { return attribute_dict(cf::layer_attributes()); });
    m.def("layer_label_attributes", [] { return attribute_dict(cf::layer_label_attributes()); });
    m.def("crs_attributes", [] { return attribute_dict(cf::crs_attributes()); });
    m.def("land_mask_attributes", [] { return attribute_dict(cf::land_mask_attributes()); });
    m.def("data_attributes", [](const std::string& long_name, const std::string& units, bool layered) {
            return attribute_dict(cf::data_attributes(long_name, units, layered));
        }, py::arg("long_name"), py::arg("units"), py::arg("layered"));
    m.def("global_attributes",
          [](const std::string& model_folder, std::int32_t first_year, std::int32_t last_year, bool grid) {
              cf::RunDescription run;
              run.model_folder = model_folder;
              run.first_year = first_year;
              run.last_year = last_year;
              run.grid = grid;
              return attribute_dict(cf::global_attributes(run));
          },
          py::arg("model_folder"), py::arg("first_year"), py::arg("last_year"), py::arg("grid"),
          "The global attributes of the dataset of every variable of a run.");
}

}  // namespace
}  // namespace veldra::python

PYBIND11_MODULE(_veldra, m) {
    using namespace veldra::python;
    m.doc() = "The model files of a Veldra run, read by the readers of the Veldra tools.";

    // A model file that cannot be used; an OSError too when it cannot be opened.
    model_error = PyErr_NewExceptionWithDoc("veldra.ModelError",
                                            "A model file that cannot be used; the text names the file and says "
                                            "what was expected.",
                                            PyExc_ValueError, nullptr);
    py::tuple bases = py::make_tuple(py::handle(model_error), py::handle(PyExc_OSError));
    open_error = PyErr_NewExceptionWithDoc("veldra.FileOpenError", "A model file that cannot be opened.",
                                           bases.ptr(), nullptr);
    if (!model_error || !open_error) throw py::error_already_set();
    m.add_object("ModelError", py::handle(model_error));
    m.add_object("FileOpenError", py::handle(open_error));
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const veldra::files::FileOpenError& e) {
            raise(open_error, e.what());
        } catch (const veldra::files::LoadError& e) {
            // The loader keeps the message of a file that cannot be opened.
            const bool unopened = std::strstr(e.what(), ": cannot be opened: ") != nullptr;
            raise(unopened ? open_error : model_error, e.what());
        } catch (const veldra::files::Error& e) {
            raise(model_error, e.what());
        }
    });

    py::module_ cf_module = m.def_submodule("cf");
    define_cf(cf_module);

    m.def("load_model", &load_model, py::arg("folder"), py::arg("land") = true,
          "The output list, the cell file and the globe file of a model folder, as the viewer reads them; "
          "shape is the grid's (rows, columns), and land its land and water (with land=True).");
    m.def("check_variable_file", &check_variable_file, py::arg("path"), py::arg("first_year"),
          py::arg("last_year"), py::arg("layers"), py::arg("cell_count"),
          "The records of a variable file; raises ModelError when the run's last block lies past its end.");
    m.def("read_values", &read_values, py::arg("path"), py::arg("first_year"), py::arg("layers"),
          py::arg("cell_count"), py::arg("years"), py::arg("months"), py::arg("layer_numbers"),
          py::arg("first_cell"), py::arg("cells"), py::arg("nan_bad_blocks") = false,
          "Values of a span of cells from blocks of a variable file, each block checked, as "
          "(len(years), len(layer_numbers), cells) float32, the fill value and values outside the valid "
          "range NaN; and the messages of the blocks whose leading records do not match, which are NaN "
          "with nan_bad_blocks (else the first raises ModelError).");
}
