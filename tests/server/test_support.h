// Helpers of the server tests: a small hand-made data directory, and
// running programs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/config/temp_dir.h"

namespace hs::test {

using hs::testing::ReadFile;
using hs::testing::TempDir;
using hs::testing::WriteFile;

// A route answer's ten characters for a position, worked out here as a
// client decodes them: longitude = L/180 - 180, latitude = 90 - B/180.
inline std::string RouteEntryText(double lat, double lon, int precision) {
  char b[16];
  std::snprintf(b, sizeof b, "%04x%04x%02x", int(std::lround((lon + 180) * 180)), int(std::lround((90 - lat) * 180)),
                precision);
  return b;
}

inline std::string ToLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Runs a command through the shell; returns its exit status and standard output.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = pclose(p);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string SourceDir() {
  const char* d = std::getenv("HOPSIGHT_SOURCE_DIR");
  return d ? d : ".";
}
inline std::string BuildDir() {
  const char* d = std::getenv("HOPSIGHT_BUILD_DIR");
  return d ? d : ".";
}

// Facts of the hand-made data directory, used by the checks.
struct SmallData {
  static constexpr double kWashington[2] = {38.89511, -77.03637};
  static constexpr double kBerlin[2] = {52.52437, 13.41053};
  static constexpr double kOttawa[2] = {45.41117, -75.69812};
  static constexpr double kMunich[2] = {48.13743, 11.57549};
  static constexpr double kParisTexas[2] = {33.66094, -95.55551};
  static constexpr double kParisTennessee[2] = {36.302, -88.32671};
  static constexpr double kLondonOntario[2] = {42.98339, -81.23304};
  static constexpr double kZip10001[2] = {40.75065, -73.99729};
  static constexpr double kNashville[2] = {36.16589, -86.78444};
};

inline void WriteSmallData(const std::string& dir) {
  WriteFile(dir + "/countries.tsv",
            "# code, name, level, latitude, longitude\n"
            "US\tUnited States\t2\t38.89511\t-77.03637\n"
            "DE\tGermany\t1\t52.52437\t13.41053\n"
            "CA\tCanada\t5\t45.41117\t-75.69812\n"
            "VA\tVatican City\t0\t41.90268\t12.45414\n"
            "GQ\tEquatorial Guinea\t1\t0.0001\t8.78166\n");
  WriteFile(dir + "/admin1.tsv",
            "US\tNY\tnew york\nUS\tTN\ttennessee\nUS\tTX\ttexas\nUS\tVT\tvermont\nCA\t08\tontario\nDE\t16\tberlin\n"
            "DE\t02\tbavaria\n");
  WriteFile(dir + "/cities.tsv",
            "DE\t16\tberlin\t52.52437\t13.41053\t3426354\n"
            "DE\t02\tmunich\t48.13743\t11.57549\t1260391\n"
            "US\tNY\tnew york city\t40.71427\t-74.00597\t8175133\n"
            "US\tTX\tparis\t33.66094\t-95.55551\t24782\n"
            "US\tTN\tparis\t36.302\t-88.32671\t10156\n"
            "US\tTN\tnashville\t36.16589\t-86.78444\t530852\n"
            "CA\t08\tlondon\t42.98339\t-81.23304\t346765\n"
            "CA\t08\tottawa\t45.41117\t-75.69812\t812129\n");
  WriteFile(dir + "/zips.tsv",
            "10001\t40.75065\t-73.99729\tnew york\tNY\n"
            "05001\t43.6442\t-72.3833\twhite river junction\tVT\n"
            "05009\t43.6542\t-72.3633\twhite river junction\tVT\n");
  // 8.0.0.0/8 US, 5.0.0.0/16 DE, 41.0.0.0/24 GQ
  WriteFile(dir + "/ranges.tsv", "134217728\t150994943\tUS\n83886080\t83951615\tDE\n687865856\t687866111\tGQ\n");
}

}  // namespace hs::test
