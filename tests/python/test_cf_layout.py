"""The CF layout bound into the module (veldra._veldra.cf) against the NetCDF
files veldra_export writes with it, and the datasets veldra.open_model builds
from it: the same names, axes, times and attributes, on a run across the
change of calendar in October 1582 with variable names the layout must alter.

Run by ctest with VELDRA_EXPORT set and the built package on PYTHONPATH.
"""
import numpy as np
import pytest
import xarray as xr

import veldra
from veldra._veldra import cf

from test_same_numbers import EXPORT, Model, list_line, plain_values, run

FIRST, LAST = 1581, 1583
# The output list's file name, the variable's name, its layers.
VARIABLES = [("time", "time_value", 1), ("9-Bio", "v_9-Bio", 2)]


def odd_model(root):
    model = Model(root, years=(FIRST, LAST),
                  entries=[list_line("time", "1"), list_line("9-Bio", "2", "Facet", "g/m^2")])
    for file_name, _, layers in VARIABLES:
        model.variable(file_name, plain_values(model, layers), layers=layers)
    return model


def exported(model, out, file_name):
    done = run(EXPORT, "--model", model.root, "--variable", file_name, "--format", "netcdf", "--quiet",
               "--out", out)
    assert done.returncode == 0, done.stderr
    return out / (file_name + ".nc")


def test_the_file_holds_the_layouts_names_axes_and_times(tmp_path):
    model = odd_model(tmp_path / "m")
    middles, bounds = cf.time_axis(FIRST, LAST)
    lat, lat_bnds = cf.axis(-90, 90, 180, 1.0, True)
    lon, lon_bnds = cf.axis(-180, 180, 360, 1.0, False)
    for file_name, name, layers in VARIABLES:
        assert cf.variable_name(file_name.encode()) == name
        raw = xr.open_dataset(exported(model, tmp_path / "nc", file_name), decode_times=False)
        assert name in raw.data_vars
        np.testing.assert_array_equal(raw[cf.TIME].values, middles)
        np.testing.assert_array_equal(raw[cf.TIME_BNDS].values, bounds)
        np.testing.assert_array_equal(raw[cf.LAT].values, lat)
        np.testing.assert_array_equal(raw[cf.LAT_BNDS].values, lat_bnds)
        np.testing.assert_array_equal(raw[cf.LON].values, lon)
        np.testing.assert_array_equal(raw[cf.LON_BNDS].values, lon_bnds)

        expected = {cf.TIME: cf.time_attributes(FIRST), cf.LAT: cf.latitude_attributes(True),
                    cf.LON: cf.longitude_attributes(True), cf.CRS: cf.crs_attributes(),
                    cf.LAND_MASK: cf.land_mask_attributes(),
                    name: cf.data_attributes(file_name.encode(), b"g/m^2" if layers > 1 else b"cm", layers > 1)}
        if layers > 1:
            expected |= {cf.LAYER: cf.layer_attributes(), cf.LAYER_LABEL: cf.layer_label_attributes()}
            # xarray takes the coordinates attribute into the encoding.
            assert raw[name].encoding["coordinates"] == expected[name].pop("coordinates") == cf.LAYER_LABEL
            assert list(raw[cf.LAYER_LABEL].values) == [cf.layer_label(b"Facet", k) for k in (1, 2)]
        for var, attrs in expected.items():
            np.testing.assert_equal(dict(raw[var].attrs), attrs, err_msg=var)
        assert raw[name].encoding["_FillValue"] == cf.FILL_VALUE
        assert int(raw[cf.CRS].values) == cf.CRS_VALUE


# Dates before 1678 are cftime dates, as xarray says.
@pytest.mark.filterwarnings("ignore:Unable to decode time axis")
def test_october_1582_and_the_dataset_equal_to_the_file(tmp_path):
    model = odd_model(tmp_path / "m")
    ds = veldra.open_model(model.root)
    for file_name, name, _ in VARIABLES:
        nc = xr.open_dataset(exported(model, tmp_path / "nc", file_name))
        ours = ds[list(nc.data_vars)]
        xr.testing.assert_allclose(ours, nc)
        for var in nc.variables:
            np.testing.assert_equal(dict(ours[var].attrs), dict(nc[var].attrs), err_msg=var)
        # Every month is bounded by the first days of its month and the next, in
        # the calendar that held then: October 1582 lost ten days.
        starts = nc[cf.TIME_BNDS].values
        assert all((t.day, t.hour) == (1, 0) for t in starts.ravel())
        assert [t.month for t in starts[:, 0]] == [m for _ in range(FIRST, LAST + 1) for m in range(1, 13)]
        days = np.diff(cf.time_axis(FIRST, LAST)[1], axis=1).ravel()
        assert days[(1582 - FIRST) * 12 + 9] == 21 and days[(1582 - FIRST) * 12 + 8] == 30
        assert {k: ds.attrs[k] for k in ["Conventions", "comment"]} == {k: nc.attrs[k] for k in ["Conventions",
                                                                                               "comment"]}
