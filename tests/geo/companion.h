// The companion server for client tests: hopsight-locd on a loopback port of
// the system's choosing, over the server tests' small hand-made data, with an
// optional override file.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>

#include "tests/server/server_process.h"
#include "tests/server/test_support.h"

namespace hs::test {

class Companion {
 public:
  explicit Companion(const std::string& overrides = "", std::vector<std::string> extra = {}) {
    const std::string program = BuildDir() + "/bin/hopsight-locd";
    if (access(program.c_str(), X_OK) != 0) {
      why_ = "no " + program + " in this build";
      return;
    }
    WriteSmallData(dir_.path());
    std::vector<std::string> args = {"--data", dir_.path()};
    if (!overrides.empty()) {
      WriteFile(dir_ / "override.txt", overrides);
      args.insert(args.end(), {"--override", dir_ / "override.txt"});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    process_ = std::make_unique<ServerProcess>(args, dir_ / "requests.log");
    if (process_->port() <= 0) why_ = "hopsight-locd did not start";
  }

  bool Started() const { return why_.empty(); }
  const std::string& Why() const { return why_; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(process_->port()); }

 private:
  TempDir dir_;
  std::unique_ptr<ServerProcess> process_;
  std::string why_;
};

}  // namespace hs::test
