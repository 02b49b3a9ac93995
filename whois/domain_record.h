// What a hop row keeps of its domain WhoIs lookup.
#pragma once

#include <memory>
#include <string>

namespace hs {

struct DomainRecord {
  // The answer as stored in the WhoIs cache (shared with it), or a busy
  // answer that was not cached.
  std::shared_ptr<const std::string> answer;
};

}  // namespace hs
