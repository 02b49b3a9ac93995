#include "map/trace_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/resolver.h"

namespace hs::map {
namespace {

// A number, or the name of a LocationSource (any case).
LocationSource SourceOf(const QJsonValue& v) {
  if (v.isDouble()) return LocationSource(v.toInt());
  static const char* names[] = {"None", "DefaultHome", "Home", "WhoIsAddress", "Database", "", "Cache", "User", "Server"};
  for (int i = 0; i < 9; ++i)
    if (names[i][0] && v.toString().compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) return LocationSource(i);
  return LocationSource::None;
}

std::string Bytes(const QJsonValue& v) { return v.toString().toLatin1().toStdString(); }

uint32_t Address(const QJsonValue& v) {
  const std::string dotted = Bytes(v);
  return dotted.empty() ? 0 : platform::DottedToAddress(dotted);
}

}  // namespace

bool ReadTraceJson(const QByteArray& text, TraceJson& out) {
  const QJsonDocument doc = QJsonDocument::fromJson(text);
  if (!doc.isObject()) return false;
  const QJsonObject root = doc.object();
  out.target = Bytes(root.value("target"));
  out.targetAddress = Address(root.value("address"));
  out.completed = root.value("completed").toBool(true);
  out.rows.clear();
  for (const QJsonValue& rv : root.value("rows").toArray()) {
    const QJsonObject r = rv.toObject();
    HopRef row = HopRef::Create();
    row->hopNumber = r.value("index").toInt(int(out.rows.size()));
    row->address = Address(r.value("address"));
    row->SetName(Bytes(r.value("name")));
    row->lastRtt = r.value("rtt").isDouble() ? uint32_t(r.value("rtt").toDouble()) : kNoTime;
    if (r.value("status").isDouble()) row->status = uint32_t(r.value("status").toDouble());
    row->sentCount = r.value("sent").toInt();
    row->droppedCount = r.value("dropped").toInt();
    row->SetNetName(Bytes(r.value("network")));
    GeoLocation g;
    if (r.value("latitude").isDouble() && r.value("longitude").isDouble()) {
      g.source = SourceOf(r.value("source"));
      g.latitude = r.value("latitude").toDouble();
      g.longitude = r.value("longitude").toDouble();
      g.precision = r.value("precision").toInt();
    }
    row->SetLocation(g);
    out.rows.push_back(row);
  }
  return true;
}

}  // namespace hs::map
