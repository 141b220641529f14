// "Did you mean": the known name nearest to a mistyped one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlix::shell {

// The name in names nearest to word by edits (an insertion, deletion, substitution or swap of
// two neighbours each counts one; ASCII letter case does not count), when it is near enough to
// be what was meant: at most one edit for every three characters of word, and at least one.
// The first of equally near names; "" when none is near enough.
std::string NearestName(std::string_view word, const std::vector<std::string>& names);

// ", did you mean <prefix><name>?" for the nearest name; "" when none is near.
std::string DidYouMean(std::string_view word, const std::vector<std::string>& names,
                       std::string_view prefix);

}  // namespace vorlix::shell
