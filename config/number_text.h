// Reading numbers at the start of a text the way atoi and atof do, but
// without the process locale: the window runs under the user's locale, where
// atof would stop at the point of "51.5". Shared by our files and by the
// location servers' wire forms, so it depends on nothing else.
#pragma once

#include <cstdint>
#include <string_view>

namespace hs::config {

// A decimal integer at the start of `text` in the manner of atoi: leading
// blanks, an optional sign, digits; 0 when there is no number. Values beyond
// the 32-bit range saturate.
int32_t LeadingInt(std::string_view text);
// A decimal fraction at the start of `text` in the manner of atof; 0 when
// there is no number or it is not finite.
double LeadingDouble(std::string_view text);

}  // namespace hs::config
