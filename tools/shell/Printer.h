// How the shell shows values: scalars in the literal form its parser reads, arrays by their
// shape (result sets as tables, records as name/value lines, other arrays one element a line).
#pragma once

#include <string>
#include <vector>

#include "automation/Variant.h"

namespace vorlix::shell {

// The value as the parser reads it back: "text" (quotes doubled), 42, 1.5, true, false, null,
// empty, #yyyy-mm-dd hh:mm:ss#, [a, b]. Types without a literal are spelled recognisably:
// currency and decimals as their numbers, VT_ERROR as error(0x...), a double that is no valid
// date as date(n), an array of several dimensions flattened in array order.
std::string Literal(const Variant& value);

// The value as lines, each starting with indent and ending in '\n':
// - a result-set array (rows opened by "*NewRecord*", then name/value pairs): a table whose
//   header holds the field names;
// - a record array (name/value pairs, every name text, at least one value not text): aligned
//   "name  value" lines. An array of text only is shown as a list, since a list of names and
//   a record of text fields cannot be told apart;
// - any other one-dimensional array of VARIANTs: one element a line, "[]" when it has none;
// - anything else (other arrays too): its Literal on one line.
std::string Show(const Variant& value, const std::string& indent);

// A call's answer: the result on a line unless it is VT_EMPTY, then each out-parameter as
// "name: literal", or "name:" and its Show indented when that takes lines. outNames holds one
// name per out-parameter; a missing name is shown as "out <n>" (1-based).
std::string ShowReply(const Variant& result, const std::vector<Variant>& outs,
                      const std::vector<std::string>& outNames);

}  // namespace vorlix::shell
