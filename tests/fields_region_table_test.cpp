// The polygons of vector files as regions (GeoJSON files, and shapefiles and
// GeoPackages made of them, read with GDAL) and the CSV table of a field
// source by region, on the globe of fields_regions_model.h.
#include <gdal_utils.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <gdal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "fields/field_source.h"
#include "fields/monthly_source.h"
#include "fields/region_table.h"
#include "fields/regions.h"
#include "fields_regions_model.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"
#include "support/memory_files.h"

namespace veldra::fields {
namespace {

using testing::cells_of;
using testing::error_of;
using testing::globe30;
using testing::kCells;

namespace fs = std::filesystem;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A ring of a box as GeoJSON coordinates.
std::string ring(double w, double s, double e, double n) {
    std::ostringstream out;
    out << "[[" << w << "," << s << "],[" << e << "," << s << "],[" << e << "," << n << "],[" << w << "," << n
        << "],[" << w << "," << s << "]]";
    return out.str();
}

std::string feature(const std::string& properties, const std::string& type, const std::string& coordinates) {
    return R"({"type":"Feature","properties":{)" + properties + R"(},"geometry":{"type":")" + type +
           R"(","coordinates":)" + coordinates + "}}";
}

// A feature of one box.
std::string box_feature(const std::string& properties, double w, double s, double e, double n) {
    return feature(properties, "Polygon", "[" + ring(w, s, e, n) + "]");
}

// GeoJSON files in a folder of their own, removed after each test.
class PolygonFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::path(::testing::TempDir()) / ("veldra_regions_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string write(const std::string& name, const std::vector<std::string>& features,
                      const std::string& crs = "") {
        const fs::path path = folder_ / (name + ".geojson");
        std::ofstream out(path);
        out << R"({"type":"FeatureCollection",)" << crs << R"("features":[)";
        for (std::size_t k = 0; k < features.size(); ++k) out << (k ? "," : "") << features[k];
        out << "]}";
        return path.string();
    }

    // The file `from` written by GDAL as `name` in `format`.
    std::string translate(const std::string& from, const std::string& name, const char* format) {
        GDALAllRegister();
        const std::string to = (folder_ / name).string();
        GDALDatasetH source = GDALOpenEx(from.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        std::string f = "-f", fmt = format;
        std::vector<char*> args = {f.data(), fmt.data(), nullptr};
        GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(args.data(), nullptr);
        int usage_error = 0;
        GDALDatasetH made = GDALVectorTranslate(to.c_str(), nullptr, 1, &source, options, &usage_error);
        GDALVectorTranslateOptionsFree(options);
        EXPECT_NE(made, nullptr) << to;
        GDALClose(made);
        GDALClose(source);
        return to;
    }

    fs::path folder_;
};

TEST_F(PolygonFile, TwoBoxesHoldTheCellsTheSameBoxesHold) {
    const std::string path = write("two_boxes", {box_feature(R"("name":"west")", -180, 0, 30, 90),
                                                 box_feature(R"("name":"east")", 0, -30, 180, 90)});
    const RegionSet polygons = make_regions(parse_regions({path}), kCells, globe30());
    const RegionSet boxes = make_regions(parse_regions({"box:-180,0,30,90", "box:0,-30,180,90"}), kCells, globe30());
    EXPECT_EQ(polygons.names, (std::vector<std::string>{"0", "1"}));  // the features' FIDs
    EXPECT_EQ(cells_of(polygons, 0), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(cells_of(polygons, 1), (std::vector<std::size_t>{1, 2, 3, 4, 5}));  // 1 is in both
    EXPECT_EQ(polygons.first, boxes.first);
    EXPECT_EQ(polygons.members, boxes.members);
    EXPECT_EQ(polygons.weights, boxes.weights);

    const RegionSet named = make_regions(parse_regions({path + ":name"}), kCells, globe30());
    EXPECT_EQ(named.names, (std::vector<std::string>{"west", "east"}));
}

TEST_F(PolygonFile, HolesPartsAndFeaturesOfOneName) {
    const std::string path = write(
        "parts", {box_feature(R"("id":"north")", 0, 0, 60, 30),
                  feature(R"("id":"dateline")", "MultiPolygon",
                          "[[" + ring(150, -90, 180, 90) + "],[" + ring(-180, -90, -150, 90) + "]]"),
                  feature(R"("id":"holed")", "Polygon",
                          "[" + ring(-180, -90, 180, 90) + "," + ring(0, 0, 60, 30) + "]"),
                  box_feature(R"("id":"north")", -30, -30, 0, 0)});
    const RegionSet set = make_regions(parse_regions({path + ":id"}), kCells, globe30());
    EXPECT_EQ(set.names, (std::vector<std::string>{"north", "dateline", "holed"}));
    EXPECT_EQ(cells_of(set, 0), (std::vector<std::size_t>{1, 2, 8}));
    EXPECT_EQ(cells_of(set, 1), (std::vector<std::size_t>{0, 3, 4, 5}));
    EXPECT_EQ(cells_of(set, 2), (std::vector<std::size_t>{0, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(PolygonFile, ACentreOnASharedEdgeFallsInOnePolygon) {
    // The edge at 15 east runs through the centres of cells 1 and 9.
    const std::string path = write("shared", {box_feature(R"("n":"a")", -60, -90, 15, 90),
                                              box_feature(R"("n":"b")", 15, -90, 60, 90)});
    const RegionSet set = make_regions(parse_regions({path}), kCells, globe30());
    EXPECT_EQ(cells_of(set, 0), (std::vector<std::size_t>{8}));
    EXPECT_EQ(cells_of(set, 1), (std::vector<std::size_t>{1, 2, 9}));
}

TEST_F(PolygonFile, ShapefileGeoPackageAndProjectedCoordinates) {
    const std::string geojson = write("two", {box_feature(R"("name":"west")", -180, 0, 30, 90),
                                              box_feature(R"("name":"east")", 0, -30, 180, 90)});
    const std::vector<std::vector<std::size_t>> expected = {{0, 1}, {1, 2, 3, 4, 5}};
    struct Case {
        std::string file;
        std::vector<std::string> names;  // by FID: shapefiles count from 0, GeoPackages from 1
    };
    const std::vector<Case> cases = {{translate(geojson, "two.shp", "ESRI Shapefile"), {"0", "1"}},
                                     {translate(geojson, "two.gpkg", "GPKG"), {"1", "2"}}};
    for (const Case& c : cases) {
        const RegionSet set = make_regions(parse_regions({c.file}), kCells, globe30());
        EXPECT_EQ(set.names, c.names) << c.file;
        for (std::uint32_t r = 0; r < 2; ++r) EXPECT_EQ(cells_of(set, r), expected[r]) << c.file;
        EXPECT_EQ(make_regions(parse_regions({c.file + ":name"}), kCells, globe30()).names,
                  (std::vector<std::string>{"west", "east"}));
    }
    // 0 to 60 east and 0 to 30 north in Web Mercator metres, and the same
    // box across 180 degrees: 150 east to 150 west, 30 south to 30 north.
    const std::string mercator = write(
        "mercator",
        {feature(R"("n":"a")", "Polygon", "[[[0,0],[6679169.447596414,0],[6679169.447596414,3503549.843504374],"
                                          "[0,3503549.843504374],[0,0]]]"),
         feature(R"("n":"b")", "Polygon",
                 "[[[16697923.618991036,-3503549.843504374],[20037508.342789244,-3503549.843504374],"
                 "[20037508.342789244,3503549.843504374],[16697923.618991036,3503549.843504374],"
                 "[16697923.618991036,-3503549.843504374]]]")},
        R"("crs":{"type":"name","properties":{"name":"urn:ogc:def:crs:EPSG::3857"}},)");
    const RegionSet set = make_regions(parse_regions({mercator}), kCells, globe30());
    EXPECT_EQ(cells_of(set, 0), (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(cells_of(set, 1), (std::vector<std::size_t>{3}));
}

TEST_F(PolygonFile, FilesThatCannotBeUsedAreNamed) {
    const std::string points = write("points", {feature(R"("n":"a")", "Point", "[1,2]")});
    EXPECT_EQ(error_of<RegionFileError>([&] { make_regions(parse_regions({points}), kCells, globe30()); }),
              points + ": feature 0: expected a polygon or multipolygon, found Point");
    const std::string unnamed =
        write("unnamed", {box_feature(R"("n":"a")", 0, 0, 1, 1),
                          box_feature(R"("n":null)", 0, 0, 1, 1)});
    EXPECT_EQ(error_of<RegionFileError>([&] { make_regions(parse_regions({unnamed + ":n"}), kCells, globe30()); }),
              unnamed + ": feature 1: expected a name in the field \"n\"; it is empty");
    EXPECT_EQ(error_of<RegionArgumentError>(
                  [&] { make_regions(parse_regions({unnamed + ":name"}), kCells, globe30()); }),
              "--regions " + unnamed + ":name: the file has no field \"name\"; its fields are: n");
    const std::string empty = write("empty", {});
    EXPECT_EQ(error_of<RegionFileError>([&] { make_regions(parse_regions({empty}), kCells, globe30()); }),
              empty + ": expected polygons; its first layer has no feature");
    const std::string missing = (folder_ / "missing.geojson").string();
    EXPECT_EQ(error_of<RegionFileError>([&] { make_regions(parse_regions({missing}), kCells, globe30()); })
                  .rfind(missing + ": expected a vector file of polygons that GDAL reads", 0),
              0u);
}

// A source of fields held in memory: each period's values and how its read ends.
class HeldSource final : public FieldSource {
public:
    struct Entry {
        Period period;
        std::vector<float> values;
        FieldRead::Kind kind = FieldRead::Kind::whole;
    };
    explicit HeldSource(std::vector<Entry> entries) : entries_(std::move(entries)) {
        for (const Entry& e : entries_) periods_.push_back(e.period);
    }
    std::int64_t cell_count() const override { return static_cast<std::int64_t>(kCells.size()); }
    const std::vector<Period>& periods() const override { return periods_; }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop) override {
        if (stop && stop()) return {FieldRead::Kind::stopped, {}};
        const Entry& e = entries_.at(k);
        field.period = e.period;
        field.label = period_label(e.period);
        field.values = e.values;
        return {e.kind, e.kind == FieldRead::Kind::whole ? "" : "note " + field.label};
    }

private:
    std::vector<Entry> entries_;
    std::vector<Period> periods_;
};

const std::vector<float> kJanuary = {-9999, 0.1f, 0.1f, 5, 2, 2, kNaN, 1e12f, 1, -1e13f};

TEST(RegionTable, RowsByTimeThenRegionWithEmptyFieldsForNoData) {
    HeldSource source({{{2000, 1}, kJanuary, FieldRead::Kind::whole},
                       {{2000, 2}, {}, FieldRead::Kind::skipped},
                       {{2000, 3}, std::vector<float>(kCells.size(), kNaN), FieldRead::Kind::nan},
                       {{0, 7}, std::vector<float>(kCells.size(), 0.5f), FieldRead::Kind::whole}});
    RegionSet set = make_regions(parse_regions({"zone"}), kCells, globe30());
    set.names[1] = "two, \"b\"";  // as a polygon's name might be
    std::ostringstream out;
    std::vector<std::string> notes;
    std::vector<std::size_t> done;
    RegionTableHooks hooks;
    hooks.note = [&](const std::string& note) { notes.push_back(note); };
    hooks.progress = [&](std::size_t k, std::size_t total) { done.push_back(k * 10 + total); };
    EXPECT_EQ(write_region_table(source, set, out, hooks), TableEnd::complete);
    // Zone 1's mean is the double nearest the float 0.1; its min and max
    // are that float, written as the float it is.
    EXPECT_EQ(out.str(),
              "time,region,cells,mean,area_mean,min,max,sd\r\n"
              "2000-01,1,2,0.10000000149011612,0.10000000149011612,0.1,0.1,0\r\n"
              "2000-01,\"two, \"\"b\"\"\",3,3,3.5,2,5,1.4142135623730951\r\n"
              "2000-01,3,0,,,,,\r\n"
              "2000-01,5,2,-4999,-4999,-9999,1,5000\r\n"
              "2000-03,1,0,,,,,\r\n"
              "2000-03,\"two, \"\"b\"\"\",0,,,,,\r\n"
              "2000-03,3,0,,,,,\r\n"
              "2000-03,5,0,,,,,\r\n"
              "07,1,2,0.5,0.5,0.5,0.5,0\r\n"
              "07,\"two, \"\"b\"\"\",3,0.5,0.5,0.5,0.5,0\r\n"
              "07,3,2,0.5,0.5,0.5,0.5,0\r\n"
              "07,5,3,0.5,0.5,0.5,0.5,0\r\n");
    EXPECT_EQ(notes, (std::vector<std::string>{"note 2000-02", "note 2000-03"}));
    EXPECT_EQ(done, (std::vector<std::size_t>{14, 24, 34, 44}));
}

TEST(RegionTable, TheLabelHookNamesAWholeRun) {
    HeldSource source({{{0, 0}, std::vector<float>(kCells.size(), 2.0f), FieldRead::Kind::whole}});
    const RegionSet set = make_regions(parse_regions({"box:-180,-90,180,90"}), kCells, globe30());
    std::ostringstream out;
    RegionTableHooks hooks;
    hooks.label = [](const Field&) { return std::string("2000-2009"); };
    write_region_table(source, set, out, hooks);
    EXPECT_EQ(out.str(), "time,region,cells,mean,area_mean,min,max,sd\r\n2000-2009,box1,10,2,2,2,2,0\r\n");
}

// A variable file of two years (three cells) in memory, its second March a
// block that names the wrong month.
MonthlySource two_years(veldra::testing::MemoryFiles& files, BadBlock policy) {
    std::vector<float> records;
    for (int year = 2000; year <= 2001; ++year)
        for (int month = 1; month <= 12; ++month) {
            const bool bad = year == 2001 && month == 3;
            records.insert(records.end(), {3.0f, static_cast<float>(year), static_cast<float>(bad ? 4 : month),
                                           static_cast<float>(month), static_cast<float>(month) + 2, kNaN});
        }
    std::string bytes;
    files::append_records(bytes, records);
    files.put(files::variable_path("run/", "Var"), bytes);
    return MonthlySource({"run/", "Var", 1, 2000, 3}, 1, 2000, 2001, policy, files);
}

const std::vector<files::RangeCell> kThreeCells = {{1, 4, 1, 1, 1}, {2, 4, 2, 1, 1}, {3, 9, 3, 1, 1}};

TEST(RegionTable, AFileTakesItsPlaceOnlyWhenComplete) {
    veldra::testing::MemoryFiles files;
    files.put("out/zones.csv", "old");
    MonthlySource source = two_years(files, BadBlock::skip);
    const RegionSet set = make_regions(parse_regions({"zone"}), kThreeCells, globe30());
    int asked = 0;
    RegionTableHooks stop_at_third;
    stop_at_third.stop = [&] { return ++asked == 3; };
    EXPECT_EQ(write_region_table(source, set, "out/zones.csv", files, stop_at_third), TableEnd::stopped);
    EXPECT_EQ(files.files.size(), 2u);  // the variable file, and the old table untouched
    EXPECT_EQ(files.files["out/zones.csv"], "old");

    EXPECT_EQ(write_region_table(source, set, "out/zones.csv", files), TableEnd::complete);
    const std::string& table = files.files["out/zones.csv"];
    const std::string january = "\r\n2000-01,4,2,2,2,1,3,1\r\n2000-01,9,0,,,,,\r\n";
    EXPECT_EQ(table.rfind(std::string(kRegionTableHeader) + january, 0), 0u);
    EXPECT_EQ(table.find("2001-03"), std::string::npos);  // skipped
    EXPECT_NE(table.find("2001-02,4,2,3,3,2,4,1\r\n2001-02,9,0,,,,,\r\n2001-04,4,2,5,5,4,6,1\r\n"), std::string::npos);

    files.faults.rename = EIO;
    EXPECT_THROW(write_region_table(source, set, "out/zones.csv", files), files::FileWriteError);
    EXPECT_EQ(files.files.size(), 2u);
}

TEST(RegionTable, ABadBlockStopsTheTableUnderStop) {
    veldra::testing::MemoryFiles files;
    MonthlySource source = two_years(files, BadBlock::stop);
    const RegionSet set = make_regions(parse_regions({"zone"}), kThreeCells, globe30());
    EXPECT_THROW(write_region_table(source, set, "out/zones.csv", files), BlockError);
    EXPECT_FALSE(files.exists("out/zones.csv"));
}

}  // namespace
}  // namespace veldra::fields
