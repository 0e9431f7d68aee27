// The service of one or more model runs: every address the server answers,
// as a plain function from a path and its query to a response. The HTTP
// handlers only pass requests in and responses out.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields/monthly_source.h"
#include "modelfiles/viewer_model.h"
#include "serve/month_cache.h"
#include "serve/query.h"
#include "serve/render.h"

namespace veldra::serve {

struct Response {
    int status = 200;
    std::string content_type;
    std::string body;
    std::string location;  // where a redirect (status 301) sends the client
};

// A file the server serves at /static/<name>, given whole at start.
struct StaticFile {
    std::string content_type;
    std::string body;
};

struct ServiceOptions {
    std::size_t cache_bytes = 512u << 20;
    int max_size = 4096;          // WIDTH and HEIGHT
    QueryLimits limits;
    std::string page;             // the page at /
    std::map<std::string, StaticFile> static_files;
};

// One layer of a variable, as the WMS names it: "Precip", "Precip_L2".
struct ServedLayer {
    std::string name;
    std::string variable;  // the variable's file name
    int layer = 1;
    int layer_count = 1;  // the variable's layers
    std::string units;
    std::string title;
    fields::RunVariable run;
    std::string path;  // the variable file
    std::mutex mutex;  // the readers are used one request at a time, with it held

    // The readers, opened on first use (a run of many variables and layers
    // keeps open only the files asked for): the months through the checked
    // reader, and the file for single values of a cell's series.
    fields::MonthlySource& months(int first_year, int last_year);
    const files::VariableFile& file();

private:
    std::unique_ptr<fields::MonthlySource> source_;
    std::optional<files::VariableFile> file_;
};

struct ServedModel {
    std::string name;  // the path's first segment, or empty for one model
    files::LoadedModel model;
    CellIndex index;
    std::vector<fields::Period> months;
    std::vector<std::unique_ptr<ServedLayer>> layers;
    std::vector<std::string> skipped;  // entries of the output list that are not served, and why
};

// The grid of a model as the viewer draws it.
GridGeometry model_grid(const files::LoadedModel& model);

class Service {
public:
    // Models as (name, folder); one model without a name has no path segment.
    // Raises veldra::Error for a model that cannot be read.
    Service(const std::vector<std::pair<std::string, std::string>>& models, ServiceOptions options);

    // `base` is the address the server is reached at ("http://127.0.0.1:8080"
    // or --base-url), for the links it writes.
    Response handle(std::string_view path, const Query& query, std::string_view base) const;

    const std::vector<std::unique_ptr<ServedModel>>& models() const { return models_; }
    const MonthCache& cache() const { return cache_; }

private:
    Response route(const ServedModel& m, std::string_view rest, const Query& q, const std::string& base) const;
    Response wms(const ServedModel& m, const Query& q, const std::string& base) const;
    Response capabilities(const ServedModel& m, const std::string& base) const;
    Response get_map(const ServedModel& m, const Query& q) const;
    Response feature_info(const ServedModel& m, const Query& q) const;
    Response legend(const ServedModel& m, const Query& q) const;
    Response tile(const ServedModel& m, std::string_view rest, const Query& q) const;
    Response tilejson(const ServedModel& m, std::string_view rest, const std::string& base) const;
    Response layers_json(const ServedModel& m, const std::string& base) const;

    std::shared_ptr<const MonthField> month(const ServedModel& m, ServedLayer& layer, std::size_t k) const;
    Painting painting(const Query& q, const MonthField& field) const;

    std::vector<std::unique_ptr<ServedModel>> models_;
    ServiceOptions options_;
    mutable MonthCache cache_;
};

// A WMS ServiceException report.
std::string service_exception(const std::string& code, const std::string& message);
std::string xml_escape(std::string_view text);
std::string json_escape(std::string_view text);
// Locale-free shortest text of a number.
std::string number_text(double v);
std::string number_text(float v);  // the shortest text that reads back as the same float

}  // namespace veldra::serve
