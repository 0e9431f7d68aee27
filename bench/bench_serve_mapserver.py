"""The yardstick the field uses for a map server, called from bench_serve.py:
MapServer (Debian's cgi-mapserver and python3-mapscript) drawing the same
tiles from our own GeoTIFF export of the same months.

(a) In process: mapscript's draw() of the map (the month's GeoTIFF in
    EPSG:4326 warped to a 256 x 256 EPSG:3857 picture, a colour range, no data
    transparent) and the PNG bytes, for each of the same 600 tiles; no HTTP.
(b) The CGI: a WMS 1.3.0 GetMap of each of the first 50 tiles answered by
    /usr/lib/cgi-bin/mapserv, one process per request, as a CGI user pays it.
Our tile, HTTP included, should cost at most (a)'s median.
"""
import os
import shutil
import statistics
import subprocess
import tempfile
import time

from bench_serve_gdal import tile_box, timed_draws

MAPSERV = "/usr/lib/cgi-bin/mapserv"

MAPFILE = """MAP
  NAME "bench"
  SIZE 256 256
  EXTENT -20037508.34 -20037508.34 20037508.34 20037508.34
  UNITS METERS
  IMAGETYPE "png"
  PROJECTION "init=epsg:3857" END
  OUTPUTFORMAT NAME "png" DRIVER "AGG/PNG" MIMETYPE "image/png" IMAGEMODE RGBA EXTENSION "png" TRANSPARENT ON END
  WEB METADATA "wms_title" "bench" "wms_srs" "EPSG:3857" "wms_enable_request" "*"
    "wms_onlineresource" "http://127.0.0.1/" END END
  LAYER
    NAME "Precip"
    TYPE RASTER
    STATUS ON
    DATA "{data}"
    PROJECTION "init=epsg:4326" END
    METADATA "wms_title" "Precip" END
    PROCESSING "NODATA=-9999"
    CLASS STYLE COLORRANGE 49 54 149 165 0 38 DATARANGE 0 20 END END
  END
END
"""


def percentiles(ms):
    ms = sorted(ms)
    return statistics.median(ms), ms[int(len(ms) * 0.99) - 1]


def mapserver_figures(build, model, year, tile_paths, ours_median):
    """tile_paths: /tiles/Precip/1/YYYY-MM/z/x/y.png as timed against veldra_serve."""
    try:
        import mapscript
    except ImportError:
        print("MapServer in-process tile: skipped (python3-mapscript is not importable by this interpreter)")
        return
    tmp = tempfile.mkdtemp(prefix="bench_serve_mapserver_")
    try:
        subprocess.run([os.path.join(build, "bin", "veldra_export"), "--model", model, "--variable", "Precip",
                        "--from", str(year), "--to", str(year), "--format", "gtiff", "--out", tmp, "--quiet"],
                       check=True, timeout=300)
        month_file = {f"{year}-{m:02d}": os.path.join(tmp, f"Precip_{year}_{m:02d}.tif") for m in range(1, 13)}
        mapfile = os.path.join(tmp, "bench.map")
        with open(mapfile, "w") as f:
            f.write(MAPFILE.replace("{data}", month_file[f"{year}-01"]))
        m = mapscript.mapObj(mapfile)
        layer = m.getLayerByName("Precip")

        def draw(path):
            month, z, x, y = path.split("/")[4:8]
            layer.data = month_file[month]
            m.setExtent(*tile_box(int(z), int(x), int(y.split(".")[0])))
            return m.draw().getBytes()

        # Once, untimed: the whole world must hold data, not an empty picture.
        assert len(draw(f"/tiles/Precip/1/{year}-01/0/0/0.png")) > 2000, "empty MapServer tile"
        median, p99, count = timed_draws(draw, year, tile_paths)
        print(f"MapServer in-process tile (mapscript draw and PNG; same {count} tiles from our GeoTIFF export): "
              f"median {median:.2f} ms, p99 {p99:.2f} ms; ours (HTTP included) median {ours_median:.2f} ms = "
              f"{ours_median / median:.2f} of the in-process median (goal <= 1)")
        cgi_figures(tmp, mapfile, month_file, tile_paths[:50])
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def cgi_figures(tmp, mapfile, month_file, tile_paths):
    if not os.access(MAPSERV, os.X_OK):
        print(f"MapServer CGI: skipped ({MAPSERV} is not installed: Debian's cgi-mapserver)")
        return
    config = os.path.join(tmp, "mapserver.conf")
    with open(config, "w") as f:  # the CGI reads map files only where its configuration allows
        f.write('CONFIG\n  ENV\n    MS_MAP_PATTERN "^' + tmp + '/"\n  END\nEND\n')
    ms = []
    for path in tile_paths:
        month, z, x, y = path.split("/")[4:8]
        with open(mapfile, "w") as f:
            f.write(MAPFILE.replace("{data}", month_file[month]))
        box = ",".join(f"{v:.3f}" for v in tile_box(int(z), int(x), int(y.split(".")[0])))
        query = (f"MAP={mapfile}&SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=Precip&STYLES=&CRS=EPSG:3857"
                 f"&BBOX={box}&WIDTH=256&HEIGHT=256&FORMAT=image/png")
        env = dict(os.environ, MAPSERVER_CONFIG_FILE=config, QUERY_STRING=query, REQUEST_METHOD="GET")
        t = time.perf_counter()
        done = subprocess.run([MAPSERV], env=env, capture_output=True, timeout=60)
        ms.append((time.perf_counter() - t) * 1000)
        assert done.stdout.startswith(b"Content-Type: image/png"), done.stdout[:300]
    median, p99 = percentiles(ms)
    print(f"MapServer CGI GetMap (one process per request, {len(ms)} tiles): median {median:.1f} ms, "
          f"p99 {p99:.1f} ms")
