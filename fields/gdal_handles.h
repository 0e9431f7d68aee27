// GDAL as the tools use it: its messages go into the error that names the
// file, never to stderr, and a dataset is closed when its handle goes.
#pragma once

#include <memory>

#include <cpl_error.h>
#include <gdal_priv.h>

namespace veldra::fields {

// While one lives, GDAL keeps its messages for CPLGetLastErrorMsg().
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

struct DatasetCloser {
    void operator()(GDALDataset* d) const { GDALClose(GDALDataset::ToHandle(d)); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

}  // namespace veldra::fields
