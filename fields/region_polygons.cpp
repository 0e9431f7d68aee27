#include "fields/region_polygons.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "fields/gdal_handles.h"
#include "fields/regions.h"
#include "modelfiles/number_text.h"

namespace veldra::fields::detail {
namespace {

using files::integer_text;

std::string gdal_says() {
    const char* text = CPLGetLastErrorMsg();
    return text && *text ? std::string(" (GDAL: ") + text + ")" : std::string();
}

struct CoordinateTransformDeleter {
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};
using Transform = std::unique_ptr<OGRCoordinateTransformation, CoordinateTransformDeleter>;

Dataset open_vector_file(const std::string& path) {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    Dataset d(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!d) throw RegionFileError{path + ": expected a vector file of polygons that GDAL reads (GeoJSON, shapefile, "
                                         "GeoPackage...); it cannot be opened" + gdal_says()};
    if (d->GetLayerCount() < 1) throw RegionFileError{path + ": expected a layer of polygons; the file has no layer"};
    return d;
}

// Longitude and latitude from a projected layer; nothing for a geographic
// one, whose coordinates are longitude and latitude as they stand.
Transform to_longitude_latitude(OGRLayer& layer, const std::string& path) {
    const OGRSpatialReference* source = layer.GetSpatialRef();
    if (!source || !source->IsProjected()) return nullptr;
    OGRSpatialReference from(*source);
    from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    Transform t(OGRCreateCoordinateTransformation(&from, &wgs84));
    if (!t) throw RegionFileError{path + ": its projected coordinates cannot be turned into longitude and latitude" +
                                  gdal_says()};
    return t;
}

int name_field_index(OGRLayer& layer, const std::string& path, const std::string& name_field) {
    if (name_field.empty()) return -1;
    OGRFeatureDefn* defn = layer.GetLayerDefn();
    const int index = defn->GetFieldIndex(name_field.c_str());
    if (index >= 0) return index;
    std::string fields;
    for (int i = 0; i < defn->GetFieldCount(); ++i)
        fields += (i ? ", " : "") + std::string(defn->GetFieldDefn(i)->GetNameRef());
    throw RegionArgumentError{"--regions " + path + ":" + name_field + ": the file has no field \"" + name_field +
                              "\"; its fields are: " + (fields.empty() ? "none" : fields)};
}

Ring ring_of(const OGRLinearRing& ring) {
    Ring r;
    const int n = ring.getNumPoints();
    r.lon.reserve(static_cast<std::size_t>(n));
    r.lat.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        r.lon.push_back(ring.getX(i));
        r.lat.push_back(ring.getY(i));
    }
    return r;
}

// The polygons of a feature's geometry, curves made straight.
std::vector<Polygon> polygons_of(OGRFeature& feature, const std::string& where, OGRCoordinateTransformation* t) {
    const OGRGeometry* geometry = feature.GetGeometryRef();
    if (!geometry || geometry->IsEmpty()) throw RegionFileError{where + ": expected a polygon; it has no geometry"};
    const OGRwkbGeometryType type = wkbFlatten(geometry->getGeometryType());
    if (type != wkbPolygon && type != wkbMultiPolygon && type != wkbCurvePolygon && type != wkbMultiSurface)
        throw RegionFileError{where + ": expected a polygon or multipolygon, found " +
                              OGRGeometryTypeToName(geometry->getGeometryType())};
    std::unique_ptr<OGRGeometry> flat(OGRGeometryFactory::forceToMultiPolygon(geometry->clone()));
    if (t && flat->transform(t) != OGRERR_NONE)
        throw RegionFileError{where + ": its coordinates cannot be turned into longitude and latitude" + gdal_says()};
    std::vector<Polygon> polygons;
    for (const OGRPolygon* part : *flat->toMultiPolygon()) {
        Polygon p;
        for (const OGRLinearRing* ring : *part) p.push_back(ring_of(*ring));
        polygons.push_back(std::move(p));
    }
    return polygons;
}

}  // namespace

std::vector<PolygonRegion> read_polygon_regions(const std::string& path, const std::string& name_field) {
    const QuietGdal quiet;
    const Dataset dataset = open_vector_file(path);
    OGRLayer& layer = *dataset->GetLayer(0);
    const int name_index = name_field_index(layer, path, name_field);
    const Transform transform = to_longitude_latitude(layer, path);
    std::vector<PolygonRegion> regions;
    std::map<std::string, std::size_t> region_of_name;
    layer.ResetReading();
    std::int64_t place = 0;
    for (OGRFeatureUniquePtr feature(layer.GetNextFeature()); feature; feature.reset(layer.GetNextFeature()), ++place) {
        const GIntBig fid = feature->GetFID();
        const std::string id = files::integer_text(fid == OGRNullFID ? place : fid);
        const std::string where = path + ": feature " + id;
        std::string name = id;
        if (name_index >= 0) {
            if (!feature->IsFieldSetAndNotNull(name_index))
                throw RegionFileError{where + ": expected a name in the field \"" + name_field + "\"; it is empty"};
            name = feature->GetFieldAsString(name_index);
        }
        const auto [it, added] = region_of_name.try_emplace(name, regions.size());
        if (added) regions.push_back({name, {}});
        std::vector<Polygon> polygons = polygons_of(*feature, where, transform.get());
        for (Polygon& p : polygons) regions[it->second].polygons.push_back(std::move(p));
    }
    if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal)
        throw RegionFileError{path + ": reading its features failed" + gdal_says()};
    if (regions.empty()) throw RegionFileError{path + ": expected polygons; its first layer has no feature"};
    return regions;
}

PolygonIndex::PolygonIndex(const Polygon& polygon, const std::vector<double>& row_lat) {
    std::vector<std::pair<std::int64_t, double>> crossings;
    for (const Ring& ring : polygon) {
        const std::size_t n = ring.lon.size();
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t j = (i + 1) % n;
            const double x1 = ring.lon[i], y1 = ring.lat[i], x2 = ring.lon[j], y2 = ring.lat[j];
            const double lo = std::min(y1, y2), hi = std::max(y1, y2);
            if (!(lo < hi)) continue;
            // Rows, north first, whose centre latitude c has lo <= c < hi.
            const auto begin = std::partition_point(row_lat.begin(), row_lat.end(), [&](double c) { return c >= hi; });
            const auto end = std::partition_point(begin, row_lat.end(), [&](double c) { return c >= lo; });
            for (auto r = begin; r != end; ++r)
                crossings.emplace_back(r - row_lat.begin(), x1 + (*r - y1) * (x2 - x1) / (y2 - y1));
        }
    }
    if (crossings.empty()) return;
    std::sort(crossings.begin(), crossings.end());
    row_lo_ = crossings.front().first;
    const std::int64_t rows = crossings.back().first - row_lo_ + 1;
    start_.assign(static_cast<std::size_t>(rows) + 1, 0);
    xs_.reserve(crossings.size());
    for (const auto& [row, x] : crossings) {
        ++start_[static_cast<std::size_t>(row - row_lo_) + 1];
        xs_.push_back(x);
    }
    for (std::size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
}

bool PolygonIndex::holds(std::int64_t row, double lon) const {
    const std::int64_t k = row - row_lo_;
    if (k < 0 || k + 1 >= static_cast<std::int64_t>(start_.size())) return false;
    const auto begin = xs_.begin() + start_[static_cast<std::size_t>(k)];
    const auto end = xs_.begin() + start_[static_cast<std::size_t>(k) + 1];
    // Crossings strictly east of the centre.
    return (end - std::upper_bound(begin, end, lon)) % 2 == 1;
}

}  // namespace veldra::fields::detail
