"""veldra_serve with real clients on loopback: urllib, OWSLib and GDAL's WMS
driver on the sample model; hostile requests, each answered with a 4xx while
the server stays up; SIGTERM ends it with status 0.

Environment: VELDRA_SERVE (the program), VELDRA_SAMPLE_MODEL (the model).
"""
import json
import math
import select
import socket
import subprocess
import threading
import time

import pytest

from serve_process import MODEL, SERVE, TIMEOUT, Server


@pytest.fixture(scope="module")
def server():
    s = Server("--model", MODEL, "--threads", "4", "--queue", "8")
    yield s
    if s.proc.poll() is None:
        s.stop()


def test_capabilities_page_and_leaflet(server):
    status, ctype, body = server.get("wms?SERVICE=WMS&REQUEST=GetCapabilities")
    assert status == 200 and ctype.startswith("text/xml")
    assert b"<Name>Precip</Name>" in body
    status, ctype, body = server.get("")
    assert status == 200 and b"static/leaflet/leaflet.js" in body
    assert b"http://" not in body and b"https://" not in body  # nothing fetched from elsewhere
    for name in ("static/leaflet/leaflet.css", "static/leaflet/images/layers.png"):
        assert server.get(name)[0] == 200
    status, ctype, body = server.get("static/leaflet/leaflet.js")
    assert status == 200 and len(body) > 10000
    status, _, body = server.get("layers.json")
    info = json.loads(body)
    assert info["months"][0] == "2000-01" and info["months"][-1] == "2004-12"


def test_owslib_reads_the_time_dimension(server):
    from owslib.wms import WebMapService
    wms = WebMapService(server.url + "wms", version="1.3.0", timeout=TIMEOUT)
    assert "Precip" in wms.contents and "Live_Biomass_L2" in wms.contents
    layer = wms["Precip"]
    assert layer.timepositions[0] == "2000-01" and layer.timepositions[-1] == "2004-12"
    assert len(layer.timepositions) == 60
    assert layer.defaulttimeposition == "2000-01"
    assert "viridis" in layer.styles and "red-stretched" in layer.styles
    for crs in ("EPSG:4326", "CRS:84", "EPSG:3857", "ESRI:54030", "ESRI:54012", "ESRI:54042"):
        assert crs in layer.crsOptions
    img = wms.getmap(layers=["Precip"], styles=["grey"], srs="EPSG:4326", bbox=(-90, -180, 90, 180),
                     size=(360, 180), format="image/png", time="2000-02")
    assert img.read()[1:4] == b"PNG"


def feature(server, lon, lat, time):
    d = 0.01
    status, _, body = server.get(
        "wms?SERVICE=WMS&VERSION=1.3.0&REQUEST=GetFeatureInfo&LAYERS=Precip&QUERY_LAYERS=Precip&CRS=CRS:84"
        f"&BBOX={lon - d},{lat - d},{lon + d},{lat + d}&WIDTH=1&HEIGHT=1&I=0&J=0&INFO_FORMAT=application/json"
        f"&TIME={time}")
    assert status == 200
    return json.loads(body)


def test_gdal_reads_getmap_in_the_viewers_colours(server, tmp_path):
    from osgeo import gdal
    gdal.UseExceptions()
    lo, hi = 0.0, 20.0
    # The driver's service description: its URL syntax keeps no STYLES.
    xml = f"""<GDAL_WMS><Service name="WMS"><Version>1.3.0</Version>
      <ServerUrl>{server.url}wms?SERVICE=WMS&amp;TIME=2000-07&amp;COLORSCALERANGE={lo},{hi}</ServerUrl>
      <Layers>Precip</Layers><Styles>red-stretched</Styles><CRS>CRS:84</CRS><ImageFormat>image/png</ImageFormat>
      <BBoxOrder>xyXY</BBoxOrder></Service>
      <DataWindow><UpperLeftX>-180</UpperLeftX><UpperLeftY>90</UpperLeftY><LowerRightX>180</LowerRightX>
      <LowerRightY>-90</LowerRightY><SizeX>720</SizeX><SizeY>360</SizeY></DataWindow>
      <BandsCount>3</BandsCount><BlockSizeX>256</BlockSizeX><BlockSizeY>256</BlockSizeY></GDAL_WMS>"""
    out = gdal.Translate(str(tmp_path / "map.tif"), gdal.Open(xml))
    red = out.GetRasterBand(1).ReadAsArray()
    blue = out.GetRasterBand(3).ReadAsArray()
    checked = 0
    for lon, lat in [(0.25, 10.25), (20.25, -10.25), (-60.25, -5.25), (100.25, 30.25), (-100.25, 40.25),
                     (30.25, 0.25), (120.25, -25.25), (10.25, 50.25)]:
        info = feature(server, lon, lat, "2000-07")
        col, row = int((lon + 180) / 0.5), int((90 - lat) / 0.5)
        if info["cell"] is None or info["series"][0]["value"] is None:
            continue
        v = info["series"][0]["value"]
        expected = min(255, max(0, math.floor((v - lo) / (hi - lo) * 255)))
        assert blue[row, col] == 0
        assert abs(int(red[row, col]) - expected) <= 1, (lon, lat, v)
        checked += 1
    assert checked >= 5
    # The open South Atlantic: the viewer's water colour.
    assert (red[260, 300], blue[260, 300]) == (30, 60)


def test_series_of_a_cell(server):
    info = feature(server, 0.25, 10.25, "2000-01/2004-12")
    assert info["cell"]["lon"] == 0.25 and info["cell"]["lat"] == 10.25
    assert info["variable"] == "Precip" and info["layer"] == 1 and info["units"] == "cm"
    assert [s["time"] for s in info["series"]][:2] == ["2000-01", "2000-02"]
    assert len(info["series"]) == 60
    sea = feature(server, -30.25, -40.25, "2000-01")
    assert sea["cell"] is None and sea["series"] == []


def test_tiles_and_tilejson(server):
    status, ctype, body = server.get("tiles/Precip/1/2000-07/2/1/1.png?STYLES=viridis&COLORSCALERANGE=0,30")
    assert status == 200 and ctype == "image/png" and body[1:4] == b"PNG"
    status, _, body = server.get("tiles/Precip/1/tilejson.json")
    tj = json.loads(body)
    assert tj["tiles"][0].endswith("/tiles/Precip/1/2000-01/{z}/{x}/{y}.png")


HOSTILE = [
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=100000&HEIGHT=100000",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=4097&HEIGHT=10",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=10,0,-10,20&WIDTH=10&HEIGHT=10",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=a,b,c,d&WIDTH=10&HEIGHT=10",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=EPSG:99999&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&TIME=2099-01",
    "wms?REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&TIME=%00%ff",
    "wms?REQUEST=GetMap&LAYERS=..%2F..%2Fetc%2Fpasswd&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10",
    "wms?REQUEST=GetMap&LAYERS=Nope&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10",
    "wms?REQUEST=GetFeatureInfo&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&I=-1&J=99",
    "wms?REQUEST=GetFeatureInfo&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&I=1&J=1"
    "&TIME=1900-01/2100-01",
    "tiles/Precip/1/2000-01/30/0/0.png",
    "tiles/Precip/1/2000-01/1/0/0.png?COLORSCALERANGE=nan,1",
    "tiles/Nope/1/2000-01/1/0/0.png",
    "static/leaflet/../../../../etc/passwd",
    "wms?" + "&".join(f"p{i}=1" for i in range(10000)),
    "wms?" + "a&" * 3000,
]


def test_hostile_requests_get_4xx_and_the_server_stays_up(server):
    for path in HOSTILE:
        status, _, body = server.get(path)
        assert 400 <= status < 500, (path[:80], status, body[:200])
    # ".." sent as it stands, not normalised by a client.
    assert 400 <= server.raw(b"GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n") < 500
    assert 400 <= server.raw(b"GET /static/%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n") < 500
    assert 400 <= server.raw(b"POST /wms HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n") < 500
    assert 400 <= server.raw(b"NONSENSE\r\n\r\n") < 500
    assert server.proc.poll() is None
    assert server.get("wms?REQUEST=GetCapabilities")[0] == 200


def test_a_slow_client_does_not_stop_others(server):
    slow = []
    for _ in range(2):
        s = socket.create_connection(("127.0.0.1", server.port), timeout=TIMEOUT)
        s.sendall(b"GET /wms?REQUEST=GetCap")  # and nothing more
        slow.append(s)
    try:
        for _ in range(5):
            assert server.get("tiles/Precip/1/2000-03/1/1/0.png")[0] == 200
    finally:
        for s in slow:
            s.close()
    assert server.get("wms?REQUEST=GetCapabilities")[0] == 200


def test_a_trickling_client_is_answered_408_and_its_thread_freed():
    """A request line sent a byte every half second, each pause well under
    the idle limit: the server answers 408 once the request has not arrived
    whole within its time, and its one thread then answers a client that
    waited in the queue meanwhile."""
    s = Server("--model", MODEL, "--threads", "1", "--queue", "8")
    trickler = socket.create_connection(("127.0.0.1", s.port), timeout=TIMEOUT)
    other = {}
    try:
        trickler.sendall(b"G")  # connected first, so the one thread is the trickler's
        waiting = threading.Thread(target=lambda: other.update(answer=s.get("layers.json")))
        waiting.start()
        request = b"ET /wms?REQUEST=GetCapabilities&pad=" + b"a" * 1000
        answer, ended, sent, start = b"", False, 0, time.monotonic()
        while not ended and time.monotonic() - start < TIMEOUT:
            if not answer:
                try:
                    trickler.send(request[sent:sent + 1])
                    sent += 1
                except OSError:  # reset by the server
                    break
            if select.select([trickler], [], [], 0.5)[0]:  # the pause between two bytes
                try:
                    chunk = trickler.recv(4096)
                except ConnectionResetError:
                    chunk = b""
                answer += chunk
                ended = not chunk
        waiting.join(TIMEOUT)
    finally:
        trickler.close()
        code, err = s.stop()
    assert answer.startswith(b"HTTP/1.1 408 "), (sent, answer[:200])
    assert ended and b"within 10 seconds" in answer, answer
    assert other.get("answer", (None,))[0] == 200, "the client in the queue was not answered"
    assert code == 0, err


def test_several_models_and_sigterm():
    s = Server("--model", f"a={MODEL}", "--model", f"b={MODEL}")
    try:
        assert s.get("a/wms?REQUEST=GetCapabilities")[0] == 200
        assert b"/b/wms?" in s.get("b/wms?REQUEST=GetCapabilities")[2]
        assert s.get("wms?REQUEST=GetCapabilities")[0] == 404
        assert b"/a/" in s.get("")[2]
        assert b"static/leaflet/leaflet.js" in s.get("a")[2]  # redirected to a/
    finally:
        code, err = s.stop()
    assert code == 0, err
    assert "stopped" in err


def test_base_url_behind_a_proxy():
    s = Server("--model", MODEL, "--base-url", "https://example.org/veldra/")
    try:
        assert s.url == "https://example.org/veldra/"
        body = s.get_local("wms?REQUEST=GetCapabilities")[2]
        assert b'xlink:href="https://example.org/veldra/wms?"' in body
        tj = json.loads(s.get_local("tiles/Precip/1/tilejson.json")[2])
        assert tj["tiles"][0].startswith("https://example.org/veldra/tiles/Precip/1/")
    finally:
        assert s.stop()[0] == 0


def test_bad_command_lines():
    r = subprocess.run([SERVE, "--model", MODEL, "--port", "x"], capture_output=True, text=True, timeout=TIMEOUT)
    assert r.returncode == 2 and r.stderr.startswith("veldra_serve: ") and "; see --help" in r.stderr
    r = subprocess.run([SERVE, "--model", "/nonexistent/run", "--port", "0"], capture_output=True, text=True,
                       timeout=TIMEOUT)
    assert r.returncode == 1 and "veldra_serve: " in r.stderr
