#include "map/trace_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

#include "platform/resolver.h"

namespace hs::map {
namespace {

constexpr const char* kSourceNames[] = {"None", "DefaultHome", "Home", "WhoIsAddress", "Database",
                                        "",     "Cache",       "User", "Server"};

std::string Bytes(const QJsonValue& v) { return v.toString().toLatin1().toStdString(); }

std::string KindOf(const QJsonValue& v) {
  switch (v.type()) {
    case QJsonValue::Bool: return "true or false";
    case QJsonValue::Double: return "a number";
    case QJsonValue::String: return "a text";
    case QJsonValue::Array: return "a list";
    case QJsonValue::Object: return "an object";
    default: return "null";
  }
}

bool IsDotted(const QString& text) {
  const QStringList parts = text.split('.');
  if (parts.size() != 4) return false;
  for (const QString& p : parts) {
    bool ok = false;
    const int n = p.toInt(&ok);
    if (!ok || p.isEmpty() || p.size() > 3 || n < 0 || n > 255 || !p.front().isDigit()) return false;
  }
  return true;
}

// Reads the fields of one object; the first field that is of the wrong kind
// or out of range ends the reading with a reason.
class Fields {
 public:
  Fields(const QJsonObject& object, std::string where) : object_(object), where_(std::move(where)) {}

  const std::string& Error() const { return error_; }
  bool Present(const char* key) const {
    const QJsonValue v = object_.value(key);
    return !v.isUndefined() && !v.isNull();
  }

  // Missing or null keeps `out` as it is.
  bool Text(const char* key, std::string& out) {
    const QJsonValue v = object_.value(key);
    if (v.isUndefined() || v.isNull()) return true;
    if (!v.isString()) return Wrong(key, v, "a text");
    out = Bytes(v);
    return true;
  }
  bool Number(const char* key, double low, double high, double& out) {
    const QJsonValue v = object_.value(key);
    if (v.isUndefined() || v.isNull()) return true;
    if (!v.isDouble()) return Wrong(key, v, "a number");
    const double d = v.toDouble();
    if (!(d >= low && d <= high)) {
      return Fail("\"" + std::string(key) + "\" is " + QString::number(d).toStdString() + ", outside " +
                  QString::number(low).toStdString() + " to " + QString::number(high).toStdString());
    }
    out = d;
    return true;
  }
  bool Whole(const char* key, double low, double high, int64_t& out) {
    double d = double(out);
    if (!Number(key, low, high, d)) return false;
    if (d != std::floor(d)) return Fail("\"" + std::string(key) + "\" is not a whole number");
    out = int64_t(d);
    return true;
  }
  bool Flag(const char* key, bool& out) {
    const QJsonValue v = object_.value(key);
    if (v.isUndefined() || v.isNull()) return true;
    if (!v.isBool()) return Wrong(key, v, "true or false");
    out = v.toBool();
    return true;
  }
  bool Address(const char* key, uint32_t& out) {
    std::string dotted;
    if (!Text(key, dotted)) return false;
    if (dotted.empty()) return true;
    if (!IsDotted(QString::fromStdString(dotted)))
      return Fail("\"" + std::string(key) + "\" \"" + dotted + "\" is not a dotted IPv4 address");
    out = platform::DottedToAddress(dotted);
    return true;
  }
  // A number 0-8 or the name of a LocationSource (any case).
  bool Source(const char* key, LocationSource& out) {
    const QJsonValue v = object_.value(key);
    if (v.isUndefined() || v.isNull()) return true;
    if (v.isDouble()) {
      int64_t n = 0;
      if (!Whole(key, 0, 8, n)) return false;
      out = LocationSource(n);
      return true;
    }
    if (!v.isString()) return Wrong(key, v, "a number or a source name");
    for (int i = 0; i < 9; ++i) {
      if (kSourceNames[i][0] && v.toString().compare(QLatin1String(kSourceNames[i]), Qt::CaseInsensitive) == 0) {
        out = LocationSource(i);
        return true;
      }
    }
    return Fail("\"" + std::string(key) + "\" \"" + Bytes(v) + "\" is no source (a number 0 to 8, or Home, Server, ...)");
  }
  bool Fail(std::string reason) {
    error_ = where_ + reason;
    return false;
  }

 private:
  bool Wrong(const char* key, const QJsonValue& v, const char* wanted) {
    return Fail("\"" + std::string(key) + "\" is " + KindOf(v) + ", not " + wanted);
  }

  const QJsonObject& object_;
  std::string where_;
  std::string error_;
};

bool ReadRow(const QJsonObject& r, int position, HopRecord& row, std::string& error) {
  Fields f(r, "rows[" + std::to_string(position) + "]: ");
  int64_t index = position, status = row.status, sent = 0, dropped = 0, precision = 0;
  uint32_t address = 0;
  std::string name, network;
  double rtt = -1;
  GeoLocation g;
  bool ok = f.Whole("index", 0, 255, index) && f.Address("address", address) && f.Text("name", name) &&
            f.Number("rtt", 0, 4294967295.0, rtt) && f.Whole("status", 0, 4294967295.0, status) &&
            f.Whole("sent", 0, 2147483647.0, sent) && f.Whole("dropped", 0, 2147483647.0, dropped) &&
            f.Text("network", network);
  if (ok && (f.Present("latitude") || f.Present("longitude"))) {
    if (!f.Present("latitude") || !f.Present("longitude")) {
      ok = f.Fail("a position needs both \"latitude\" and \"longitude\"");
    } else {
      ok = f.Number("latitude", -90, 90, g.latitude) && f.Number("longitude", -180, 180, g.longitude) &&
           f.Source("source", g.source) && f.Whole("precision", -2147483648.0, 2147483647.0, precision);
      g.precision = int32_t(precision);
    }
  }
  if (!ok) {
    error = f.Error();
    return false;
  }
  row.hopNumber = int(index);
  row.address = address;
  row.SetName(name);
  row.lastRtt = rtt < 0 ? kNoTime : uint32_t(rtt);
  row.status = uint32_t(status);
  row.sentCount = int(sent);
  row.droppedCount = int(dropped);
  row.SetNetName(network);
  row.SetLocation(g);
  return true;
}

}  // namespace

bool ReadTraceJson(const QByteArray& text, TraceJson& out, std::string* why) {
  std::string error;
  auto fail = [&](std::string reason) {
    if (why) *why = std::move(reason);
    return false;
  };
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
  if (parse.error != QJsonParseError::NoError) {
    const QByteArray before = text.left(parse.offset);
    const int line = int(before.count('\n')) + 1;
    const int column = int(before.size() - (before.lastIndexOf('\n') + 1)) + 1;
    return fail("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                parse.errorString().toStdString());
  }
  if (!doc.isObject()) return fail("not a JSON object");
  const QJsonObject root = doc.object();
  TraceJson read;
  Fields f(root, "");
  if (!f.Text("target", read.target) || !f.Address("address", read.targetAddress) ||
      !f.Flag("completed", read.completed)) {
    return fail(f.Error());
  }
  const QJsonValue rows = root.value("rows");
  if (!rows.isUndefined() && !rows.isNull() && !rows.isArray())
    return fail("\"rows\" is " + KindOf(rows) + ", not a list");
  int position = 0;
  for (const QJsonValue& rv : rows.toArray()) {
    if (!rv.isObject()) return fail("rows[" + std::to_string(position) + "] is " + KindOf(rv) + ", not an object");
    HopRef row = HopRef::Create();
    if (!ReadRow(rv.toObject(), position, *row, error)) return fail(error);
    read.rows.push_back(row);
    ++position;
  }
  out = std::move(read);
  return true;
}

}  // namespace hs::map
