#include "serve/service.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "modelfiles/paths.h"
#include "modelfiles/valid_values.h"
#include "modelfiles/variable_file.h"
#include "serve/png_encode.h"

namespace veldra::serve {
namespace {

std::vector<std::string_view> split_path(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool parse_whole(std::string_view text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

Response text_response(int status, std::string content_type, std::string body) {
    return {status, std::move(content_type), std::move(body), {}};
}

Response png_response(const std::vector<std::uint8_t>& rgba, int width, int height) {
    return {200, "image/png", encode_png(rgba, width, height), {}};
}

bool is_true(std::string_view v) { return equals_ignoring_case(v, "true") || v == "1"; }

std::string trimmed(std::string_view s) { return std::string(files::trim_blanks(s)); }

}  // namespace

std::string number_text(double v) {
    if (!std::isfinite(v)) return "null";
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc{} ? std::string(buffer, end) : "null";
}

std::string number_text(float v) {
    if (!std::isfinite(v)) return "null";
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc{} ? std::string(buffer, end) : "null";
}

std::string xml_escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string json_escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\u00";
            out.push_back(hex[u >> 4]);
            out.push_back(hex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string service_exception(const std::string& code, const std::string& message) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ServiceExceptionReport version=\"1.3.0\" xmlns=\"http://www.opengis.net/ogc\">\n  <ServiceException";
    if (!code.empty()) xml += " code=\"" + xml_escape(code) + "\"";
    xml += ">" + xml_escape(message) + "</ServiceException>\n</ServiceExceptionReport>\n";
    return xml;
}

GridGeometry model_grid(const files::LoadedModel& model) {
    GridGeometry g;
    const auto shape = files::grid_shape(model.extents);
    g.cell = static_cast<double>(model.GridInfo.cellSize);
    g.west = -model.extents.half_cols * g.cell;
    g.north = model.extents.half_rows_int * g.cell;
    if (shape) {
        g.cols = shape->cols;
        g.rows = shape->rows;
    }
    return g;
}

Service::Service(const std::vector<std::pair<std::string, std::string>>& models, ServiceOptions options)
    : options_(std::move(options)), cache_(options_.cache_bytes) {
    for (const auto& [name, folder] : models) {
        auto m = std::make_unique<ServedModel>();
        m->name = name;
        m->model = files::load_model_files(folder);
        files::check_run_years(m->model);
        m->index = index_cells(model_grid(m->model), m->model.CellTable, m->model.GlobeMask);
        m->months = fields::months_of(m->model.first_year(), m->model.GridInfo.lastYear);
        const fields::RunVariable base{m->model.ModelFolder, "", 0, m->model.first_year(),
                                       static_cast<std::int64_t>(m->model.CellTable.size())};
        for (const files::OutputEntry& entry : m->model.OutputTable) {
            if (const auto fault = files::variable_entry_fault(entry, m->model.list_path())) {
                m->skipped.push_back(*fault);
                continue;
            }
            fields::RunVariable run = base;
            run.file_name = trimmed(entry.FileName);
            run.layer_count = entry.LayerCount;
            for (int l = 1; l <= entry.LayerCount; ++l) {
                try {
                    // Opened here once, so that a missing file is said at start.
                    (void)files::VariableFile::open(m->model.variable_path(entry));
                    auto layer = std::make_unique<ServedLayer>();
                    layer->run = run;
                    layer->path = m->model.variable_path(entry);
                    layer->variable = run.file_name;
                    layer->layer = l;
                    layer->layer_count = entry.LayerCount;
                    layer->name = run.file_name + (l > 1 ? "_L" + std::to_string(l) : "");
                    layer->units = trimmed(entry.Units);
                    layer->title = trimmed(entry.LayerLabel);
                    if (layer->title.empty()) layer->title = run.file_name;
                    if (entry.LayerCount > 1) layer->title += ", layer " + std::to_string(l);
                    m->layers.push_back(std::move(layer));
                } catch (const files::Error& e) {
                    m->skipped.push_back(e.what());
                    break;
                }
            }
        }
        models_.push_back(std::move(m));
    }
}

fields::MonthlySource& ServedLayer::months(int first_year, int last_year) {
    if (!source_) source_ = std::make_unique<fields::MonthlySource>(run, layer, first_year, last_year, fields::BadBlock::nan);
    return *source_;
}

const files::VariableFile& ServedLayer::file() {
    if (!file_) file_.emplace(files::VariableFile::open(path));
    return *file_;
}

std::shared_ptr<const MonthField> Service::month(const ServedModel& m, ServedLayer& layer, std::size_t k) const {
    const std::string key = m.name + "\n" + layer.name + "\n" + std::to_string(k);
    return cache_.get(key, [&] {
        auto field = std::make_shared<MonthField>();
        fields::Field f;
        {
            std::lock_guard lock(layer.mutex);
            fields::MonthlySource& source = layer.months(m.model.first_year(), m.model.GridInfo.lastYear);
            const fields::FieldRead read = source.read(k, f);
            if (read.kind == fields::FieldRead::Kind::skipped || read.kind == fields::FieldRead::Kind::stopped)
                f.values.assign(static_cast<std::size_t>(source.cell_count()), NAN);
        }
        field->values = std::move(f.values);
        field->stretch = viewer::stretch_stats(field->values);
        return field;
    });
}

Response Service::handle(std::string_view path, const Query& q, std::string_view base_in) const {
    std::string base(base_in);
    try {
        const std::vector<std::string_view> parts = split_path(path);
        for (const std::string_view p : parts)
            if (p == ".." || p == ".") throw RequestError(400, "", "a path may not hold . or .. segments");
        if (models_.size() == 1 && models_[0]->name.empty()) return route(*models_[0], path, q, base);
        if (parts.empty()) {
            std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Veldra runs</title>"
                               "</head><body><h1>Veldra runs</h1><ul>\n";
            for (const auto& m : models_)
                html += "<li><a href=\"" + xml_escape(base) + "/" + xml_escape(m->name) + "/\">" +
                        xml_escape(m->name) + "</a></li>\n";
            return text_response(200, "text/html; charset=utf-8", html + "</ul></body></html>\n");
        }
        for (const auto& m : models_)
            if (parts[0] == m->name) {
                const std::size_t at = path.find(m->name) + m->name.size();
                // The page's addresses are relative to /NAME/.
                if (at == path.size()) return {301, "text/plain; charset=utf-8", "see /" + m->name + "/\n", "/" + m->name + "/"};
                return route(*m, path.substr(at), q, base + "/" + m->name);
            }
        throw RequestError(404, "", "no such run: the runs are at /NAME/");
    } catch (const RequestError& e) {
        return text_response(e.status(), "text/plain; charset=utf-8", std::string(e.what()) + "\n");
    }
}

Response Service::route(const ServedModel& m, std::string_view rest, const Query& q, const std::string& base) const {
    if (rest.empty() || rest == "/") {
        if (options_.page.empty()) return text_response(200, "text/plain; charset=utf-8", "veldra_serve\n");
        return text_response(200, "text/html; charset=utf-8", options_.page);
    }
    if (rest == "/wms") return wms(m, q, base);
    if (rest == "/layers.json") return layers_json(m, base);
    if (rest.starts_with("/tiles/")) {
        if (rest.ends_with("/tilejson.json")) return tilejson(m, rest, base);
        return tile(m, rest, q);
    }
    if (rest.starts_with("/static/")) {
        const auto it = options_.static_files.find(std::string(rest.substr(8)));
        if (it != options_.static_files.end()) return text_response(200, it->second.content_type, it->second.body);
    }
    throw RequestError(404, "", "nothing is served at this address");
}

namespace {

const ServedLayer* find_layer(const ServedModel& m, std::string_view name) {
    for (const auto& l : m.layers)
        if (l->name == name) return l.get();
    return nullptr;
}

std::size_t month_index(const ServedModel& m, const fields::Period& p) {
    const auto it = std::find(m.months.begin(), m.months.end(), p);
    if (it == m.months.end())
        throw RequestError(400, "InvalidDimensionValue",
                           "TIME " + month_text(p) + " lies outside the run: " + month_text(m.months.front()) +
                               " to " + month_text(m.months.back()));
    return static_cast<std::size_t>(it - m.months.begin());
}

std::size_t time_index(const ServedModel& m, const std::string* time) {
    if (m.months.empty()) throw RequestError(400, "InvalidDimensionValue", "the run has no months");
    if (!time || time->empty() || equals_ignoring_case(*time, "current")) return 0;
    // A span (QGIS's temporal controller may ask for one): its first month.
    const auto p = parse_month(std::string_view(*time).substr(0, time->find('/')));
    if (!p) throw RequestError(400, "InvalidDimensionValue", "TIME must be a month: YYYY-MM");
    return month_index(m, *p);
}

}  // namespace

Painting Service::painting(const Query& q, const MonthField& field) const {
    Painting p;
    const auto ramp = style_ramp(q.get("styles"));
    if (!ramp) throw RequestError(400, "StyleNotDefined", "no such style: " + q.get("styles"));
    p.ramp = *ramp;
    p.logarithmic = is_true(q.get("logscale"));
    if (const std::string* range = q.find("colorscalerange"); range && !range->empty()) {
        const auto [lo, hi] = parse_range(*range, p.logarithmic);
        p.lo = lo;
        p.hi = hi;
    } else {
        p.lo = field.stretch.lo;
        p.hi = field.stretch.hi;
        if (p.logarithmic && !(p.lo > 0)) p.lo = field.stretch.min > 0 ? field.stretch.min : p.hi / 1000;
        if (p.logarithmic && !(p.hi > p.lo)) p.hi = p.lo * 10;
    }
    const std::string transparent = q.get("transparent");
    const std::string background = q.get("background");
    p.background = !is_true(transparent) && !equals_ignoring_case(background, "none");
    if (equals_ignoring_case(background, "map")) p.background = true;
    return p;
}

Response Service::wms(const ServedModel& m, const Query& q, const std::string& base) const {
    try {
        const std::string* service = q.find("service");
        if (service && !equals_ignoring_case(*service, "WMS"))
            throw RequestError(400, "InvalidParameterValue", "SERVICE must be WMS");
        const std::string& request = q.require("request");
        if (equals_ignoring_case(request, "GetCapabilities")) return capabilities(m, base);
        if (equals_ignoring_case(request, "GetMap")) return get_map(m, q);
        if (equals_ignoring_case(request, "GetFeatureInfo")) return feature_info(m, q);
        if (equals_ignoring_case(request, "GetLegendGraphic")) return legend(m, q);
        throw RequestError(400, "OperationNotSupported", "REQUEST must be GetCapabilities, GetMap, GetFeatureInfo or GetLegendGraphic");
    } catch (const RequestError& e) {
        return text_response(e.status(), "text/xml", service_exception(e.code(), e.what()));
    }
}

Response Service::capabilities(const ServedModel& m, const std::string& base) const {
    const std::string url = xml_escape(base + "/wms?");
    std::string x;
    x.reserve(4096 + m.layers.size() * m.months.size() * 8);
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<WMS_Capabilities version=\"1.3.0\" xmlns=\"http://www.opengis.net/wms\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\">\n"
         "<Service>\n  <Name>WMS</Name>\n  <Title>Veldra run" +
         (m.name.empty() ? std::string() : " " + xml_escape(m.name)) +
         "</Title>\n  <OnlineResource xlink:type=\"simple\" xlink:href=\"" + url +
         "\"/>\n  <MaxWidth>" + std::to_string(options_.max_size) + "</MaxWidth>\n  <MaxHeight>" +
         std::to_string(options_.max_size) + "</MaxHeight>\n</Service>\n<Capability>\n<Request>\n";
    const std::string dcp = "<DCPType><HTTP><Get><OnlineResource xlink:type=\"simple\" xlink:href=\"" + url +
                            "\"/></Get></HTTP></DCPType>";
    x += "  <GetCapabilities><Format>text/xml</Format>" + dcp + "</GetCapabilities>\n";
    x += "  <GetMap><Format>image/png</Format>" + dcp + "</GetMap>\n";
    x += "  <GetFeatureInfo><Format>application/json</Format><Format>text/csv</Format>" + dcp + "</GetFeatureInfo>\n";
    x += "</Request>\n<Exception><Format>XML</Format></Exception>\n<Layer>\n  <Title>Veldra run</Title>\n";
    for (const CrsInfo& c : kCrsTable) x += std::string("  <CRS>") + c.name + "</CRS>\n";
    const GridGeometry& g = m.index.grid;
    const double west = std::max(-180.0, g.west), east = std::min(180.0, g.west + g.cols * g.cell);
    const double north = std::min(90.0, g.north), south = std::max(-90.0, g.north - g.rows * g.cell);
    x += "  <EX_GeographicBoundingBox><westBoundLongitude>" + number_text(west) +
         "</westBoundLongitude><eastBoundLongitude>" + number_text(east) +
         "</eastBoundLongitude><southBoundLatitude>" + number_text(south) +
         "</southBoundLatitude><northBoundLatitude>" + number_text(north) +
         "</northBoundLatitude></EX_GeographicBoundingBox>\n";
    x += "  <BoundingBox CRS=\"CRS:84\" minx=\"" + number_text(west) + "\" miny=\"" + number_text(south) +
         "\" maxx=\"" + number_text(east) + "\" maxy=\"" + number_text(north) + "\"/>\n";
    x += "  <BoundingBox CRS=\"EPSG:4326\" minx=\"" + number_text(south) + "\" miny=\"" + number_text(west) +
         "\" maxx=\"" + number_text(north) + "\" maxy=\"" + number_text(east) + "\"/>\n";
    std::string times;
    for (std::size_t k = 0; k < m.months.size(); ++k) {
        if (k) times += ',';
        times += month_text(m.months[k]);
    }
    const std::string first = m.months.empty() ? "" : month_text(m.months.front());
    for (const auto& l : m.layers) {
        x += "  <Layer queryable=\"1\" opaque=\"0\">\n    <Name>" + xml_escape(l->name) + "</Name>\n    <Title>" +
             xml_escape(l->title) + "</Title>\n    <Abstract>" + xml_escape(l->variable) + ", layer " +
             std::to_string(l->layer) + (l->units.empty() ? "" : ", in " + xml_escape(l->units)) + "</Abstract>\n";
        x += "    <Dimension name=\"time\" units=\"ISO8601\" default=\"" + first + "\" nearestValue=\"0\">" + times +
             "</Dimension>\n";
        for (const StyleInfo& s : kStyles) {
            x += std::string("    <Style><Name>") + s.name + "</Name><Title>" + s.title +
                 "</Title><LegendURL width=\"30\" height=\"256\"><Format>image/png</Format>"
                 "<OnlineResource xlink:type=\"simple\" xlink:href=\"" +
                 url + "SERVICE=WMS&amp;REQUEST=GetLegendGraphic&amp;LAYER=" + xml_escape(l->name) +
                 "&amp;STYLE=" + s.name + "&amp;FORMAT=image/png\"/></LegendURL></Style>\n";
        }
        x += "  </Layer>\n";
    }
    x += "</Layer>\n</Capability>\n</WMS_Capabilities>\n";
    return text_response(200, "text/xml", x);
}

namespace {

struct MapFrame {
    Crs crs = Crs::crs84;
    Box box;
    int width = 0;
    int height = 0;
};

MapFrame map_frame(const Query& q, int max_size) {
    MapFrame f;
    const std::string* crs = q.find("crs");
    if (!crs) crs = q.find("srs");
    if (!crs) throw RequestError(400, "MissingParameterValue", "the parameter CRS is missing");
    const auto c = parse_crs(*crs);
    if (!c) throw RequestError(400, "InvalidCRS", "no such CRS: " + *crs + "; the CRSs are EPSG:4326, CRS:84, EPSG:3857, ESRI:54030, ESRI:54012, ESRI:54042");
    f.crs = *c;
    // WMS 1.1.1 has longitude first also for EPSG:4326.
    const bool old = q.get("version") == "1.1.1" || q.get("version") == "1.1.0";
    f.box = parse_bbox(q.require("bbox"), old && f.crs == Crs::epsg4326 ? Crs::crs84 : f.crs);
    f.width = parse_size(q.require("width"), "WIDTH", max_size);
    f.height = parse_size(q.require("height"), "HEIGHT", max_size);
    return f;
}

ServedLayer& layer_of(const ServedModel& m, const std::string& names) {
    if (names.find(',') != std::string::npos)
        throw RequestError(400, "LayerNotDefined", "one layer at a time: LAYERS names one layer");
    const ServedLayer* l = find_layer(m, names);
    if (!l) throw RequestError(400, "LayerNotDefined", "no such layer: " + names);
    return const_cast<ServedLayer&>(*l);
}

void check_format(const Query& q) {
    const std::string format = q.get("format", "image/png");
    if (!equals_ignoring_case(format, "image/png") && !equals_ignoring_case(format, "png"))
        throw RequestError(400, "InvalidFormat", "FORMAT must be image/png");
}

}  // namespace

Response Service::get_map(const ServedModel& m, const Query& q) const {
    ServedLayer& layer = layer_of(m, q.require("layers"));
    check_format(q);
    const MapFrame f = map_frame(q, options_.max_size);
    const std::size_t k = time_index(m, q.find("time"));
    const auto field = month(m, layer, k);
    const Painting p = painting(q, *field);
    std::vector<std::int32_t> positions;
    pixel_positions(f.box, f.crs, f.width, f.height, m.index.grid, positions);
    std::vector<std::uint8_t> rgba;
    render(positions, m.index, field->values, p, rgba);
    return png_response(rgba, f.width, f.height);
}

Response Service::feature_info(const ServedModel& m, const Query& q) const {
    const std::string* names = q.find("query_layers");
    if (!names) names = &q.require("layers");
    ServedLayer& layer = layer_of(m, *names);
    const MapFrame f = map_frame(q, options_.max_size);
    const std::string* si = q.find("i");
    if (!si) si = q.find("x");
    const std::string* sj = q.find("j");
    if (!sj) sj = q.find("y");
    if (!si || !sj) throw RequestError(400, "MissingParameterValue", "the parameters I and J are missing");
    int i = 0, j = 0;
    if (!parse_whole(*si, i) || !parse_whole(*sj, j) || i < 0 || j < 0 || i >= f.width || j >= f.height)
        throw RequestError(400, "InvalidPoint", "I and J must be a pixel of the map: 0 to WIDTH-1 and HEIGHT-1");
    const std::string format = q.get("info_format", "application/json");
    const bool csv = equals_ignoring_case(format, "text/csv") || equals_ignoring_case(format, "text/plain");
    if (!csv && !equals_ignoring_case(format, "application/json"))
        throw RequestError(400, "InvalidFormat", "INFO_FORMAT must be application/json or text/csv");
    // The months: one, or start/end.
    std::size_t from = 0, to = 0;
    if (const std::string* time = q.find("time"); time && time->find('/') != std::string::npos) {
        const std::size_t slash = time->find('/');
        const auto a = parse_month(std::string_view(*time).substr(0, slash));
        std::string_view end = std::string_view(*time).substr(slash + 1);
        if (const std::size_t again = end.find('/'); again != std::string_view::npos) end = end.substr(0, again);
        const auto b = parse_month(end);
        if (!a || !b) throw RequestError(400, "InvalidDimensionValue", "TIME must be YYYY-MM or YYYY-MM/YYYY-MM");
        from = month_index(m, *a);
        to = month_index(m, *b);
        if (to < from) throw RequestError(400, "InvalidDimensionValue", "TIME's end comes before its start");
    } else {
        from = to = time_index(m, time);
    }
    const std::int32_t pos = pixel_position(f.box, f.crs, f.width, f.height, i, j, m.index.grid);
    const std::int32_t cell = pos < 0 ? -1 : m.index.cell_at[static_cast<std::size_t>(pos)];
    std::vector<float> series;
    if (cell >= 0) {
        series.reserve(to - from + 1);
        std::lock_guard lock(layer.mutex);
        std::vector<float> leading;
        const std::int64_t n = static_cast<std::int64_t>(m.model.CellTable.size());
        for (std::size_t k = from; k <= to; ++k) {
            const fields::Period& p = m.months[k];
            const files::BlockAddress address{p.year, p.month, layer.layer, m.model.first_year(), layer.layer_count, n};
            const files::CheckedBlock b = read_checked_leading(layer.file(), address, leading);
            float v = NAN;
            if (b.ok()) {
                float value = NAN;
                if (layer.file().read_records(b.records.first_record + 3 + cell, 1, &value) == 1) v = value;
            }
            series.push_back(v);
        }
    }
    auto value_text = [](float v) { return files::in_valid_range(v) ? number_text(v) : std::string(); };
    if (csv) {
        std::string out = "time,value\n";
        for (std::size_t k = 0; k < series.size(); ++k)
            out += month_text(m.months[from + k]) + "," + value_text(series[k]) + "\n";
        return text_response(200, "text/csv; charset=utf-8", out);
    }
    std::string out = "{\"cell\": ";
    if (cell >= 0) {
        const files::RangeCell& c = m.model.CellTable[static_cast<std::size_t>(cell)];
        const GridGeometry& g = m.index.grid;
        out += "{\"number\": " + std::to_string(c.cellNumber) + ", \"column\": " + std::to_string(c.x) +
               ", \"row\": " + std::to_string(c.y) + ", \"lon\": " + number_text(g.west + (c.x - 0.5) * g.cell) +
               ", \"lat\": " + number_text(g.north - (c.y - 0.5) * g.cell) + "}";
    } else {
        out += "null";
    }
    out += ", \"variable\": \"" + json_escape(layer.variable) + "\", \"layer\": " + std::to_string(layer.layer) +
           ", \"units\": \"" + json_escape(layer.units) + "\", \"series\": [";
    for (std::size_t k = 0; k < series.size(); ++k) {
        const std::string v = value_text(series[k]);
        out += (k ? ", " : "") + std::string("{\"time\": \"") + month_text(m.months[from + k]) +
               "\", \"value\": " + (v.empty() ? "null" : v) + "}";
    }
    out += "]}\n";
    return text_response(200, "application/json", out);
}

Response Service::legend(const ServedModel& m, const Query& q) const {
    const std::string* name = q.find("layer");
    if (!name) name = &q.require("layers");
    ServedLayer& layer = layer_of(m, *name);
    const bool json = equals_ignoring_case(q.get("format"), "application/json");
    if (!json) check_format(q);
    const auto field = month(m, layer, time_index(m, q.find("time")));
    std::string style = q.get("style", q.get("styles"));
    std::vector<std::pair<std::string, std::string>> pairs = {{"styles", style}};
    for (const char* key : {"colorscalerange", "logscale"})
        if (const std::string* v = q.find(key)) pairs.emplace_back(key, *v);
    const Painting p = painting(Query::from_pairs(pairs, options_.limits), *field);
    if (json)  // the ends of the colours, for a legend drawn by the client
        return text_response(200, "application/json",
                             "{\"layer\": \"" + json_escape(layer.name) + "\", \"units\": \"" +
                                 json_escape(layer.units) + "\", \"lo\": " + number_text(p.lo) + ", \"hi\": " +
                                 number_text(p.hi) + ", \"logscale\": " + (p.logarithmic ? "true" : "false") + "}\n");
    const int width = q.find("width") ? parse_size(q.get("width"), "WIDTH", 512) : 30;
    const int height = q.find("height") ? parse_size(q.get("height"), "HEIGHT", 1024) : 256;
    std::vector<std::uint8_t> rgba;
    render_legend(p, width, height, rgba);
    return png_response(rgba, width, height);
}

Response Service::tile(const ServedModel& m, std::string_view rest, const Query& q) const {
    const TileAddress t = parse_tile_path(rest);
    const std::string name = t.variable + (t.layer > 1 ? "_L" + std::to_string(t.layer) : "");
    const ServedLayer* l = find_layer(m, name);
    if (!l || l->layer != t.layer) throw RequestError(404, "", "no such variable or layer");
    const std::size_t k = month_index(m, t.month);
    const Box& box = t.box;
    const auto field = month(m, const_cast<ServedLayer&>(*l), k);
    const Painting p = painting(q, *field);
    std::vector<std::int32_t> positions;
    pixel_positions(box, Crs::epsg3857, 256, 256, m.index.grid, positions);
    std::vector<std::uint8_t> rgba;
    render(positions, m.index, field->values, p, rgba);
    return png_response(rgba, 256, 256);
}

Response Service::tilejson(const ServedModel& m, std::string_view rest, const std::string& base) const {
    const std::vector<std::string_view> parts = split_path(rest);
    int layer_number = 0;
    if (parts.size() != 4 || !parse_whole(parts[2], layer_number))
        throw RequestError(404, "", "a TileJSON is /tiles/VARIABLE/LAYER/tilejson.json");
    const std::string name = std::string(parts[1]) + (layer_number > 1 ? "_L" + std::to_string(layer_number) : "");
    const ServedLayer* l = find_layer(m, name);
    if (!l || l->layer != layer_number) throw RequestError(404, "", "no such variable or layer");
    const std::string first = m.months.empty() ? "" : month_text(m.months.front());
    std::string out = "{\"tilejson\": \"2.2.0\", \"name\": \"" + json_escape(l->name) + "\", \"description\": \"" +
                      json_escape(l->title) + "\", \"scheme\": \"xyz\", \"minzoom\": 0, \"maxzoom\": 12, "
                      "\"bounds\": [-180, -85.0511, 180, 85.0511], \"tiles\": [\"" +
                      json_escape(base) + "/tiles/" + json_escape(l->variable) + "/" + std::to_string(l->layer) + "/" +
                      first + "/{z}/{x}/{y}.png\"], \"time\": [";
    for (std::size_t k = 0; k < m.months.size(); ++k) out += (k ? ",\"" : "\"") + month_text(m.months[k]) + "\"";
    out += "]}\n";
    return text_response(200, "application/json", out);
}

Response Service::layers_json(const ServedModel& m, const std::string& base) const {
    std::string out = "{\"base\": \"" + json_escape(base) + "\", \"layers\": [";
    for (std::size_t k = 0; k < m.layers.size(); ++k) {
        const ServedLayer& l = *m.layers[k];
        out += (k ? ", " : "") + std::string("{\"name\": \"") + json_escape(l.name) + "\", \"variable\": \"" +
               json_escape(l.variable) + "\", \"layer\": " + std::to_string(l.layer) + ", \"title\": \"" +
               json_escape(l.title) + "\", \"units\": \"" + json_escape(l.units) + "\"}";
    }
    out += "], \"months\": [";
    for (std::size_t k = 0; k < m.months.size(); ++k) out += (k ? ",\"" : "\"") + month_text(m.months[k]) + "\"";
    out += "], \"styles\": [";
    for (std::size_t k = 0; k < kStyles.size(); ++k)
        out += (k ? ", " : "") + std::string("{\"name\": \"") + kStyles[k].name + "\", \"title\": \"" +
               kStyles[k].title + "\"}";
    out += "], \"default_style\": \"" + std::string(kDefaultStyle) + "\"}\n";
    return text_response(200, "application/json", out);
}

}  // namespace veldra::serve
