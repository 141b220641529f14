// .import: the rows of a CSV file appended to a table.
#include <algorithm>
#include <fstream>

#include "automation/AsciiCase.h"
#include "automation/SafeArray.h"
#include "tools/shell/Csv.h"
#include "tools/shell/Session.h"
#include "tools/shell/Suggest.h"

namespace vorlix::shell {

// A record a row through Append, so that the server converts each text to its field's type as
// it does for every client, all in one transaction of the connection: a bad row stops the
// import and rolls it back, so that a file is imported whole or not at all.
bool Session::Import(const Words& words, const std::string& where) {
  if (words.size() != 2) {
    Fail(where + "usage: .import FILE TABLE");
    return true;
  }
  const std::string& path = words[0];
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    Fail(where + "cannot read " + path);
    return true;
  }
  CsvReader csv(file);
  std::vector<Variant> names;
  std::vector<std::string> fields;
  if (!csv.Next(&fields)) {
    Fail(where + path + ": " + (csv.Error().empty() ? "no header row" : csv.Error()));
    return true;
  }
  for (const std::string& field : fields) {
    std::optional<Bstr> name = Bstr::FromUtf8(field);
    if (!name || field.empty()) {
      Fail(where + path + ":1: a field name is empty or not UTF-8");
      return true;
    }
    names.push_back(Variant::Str(std::move(*name)));
  }
  std::vector<std::string> tables;
  if (!ListTables(&tables, &where)) return true;
  const auto table = std::find_if(tables.begin(), tables.end(),
                                  [&](const std::string& t) { return EqualNoCase(t, words[1]); });
  if (table == tables.end()) {
    Fail(where + "no table " + words[1] + DidYouMean(words[1], tables, ""));
    return true;
  }
  InvokeResult result;
  if (!CallMethod("Table", {Variant::Str(*Bstr::FromUtf8(*table)), Variant::Str(Bstr())}, &result,
                  where)) {
    return true;
  }
  if (AnsweredFalse(result)) {
    Fail(where + "cannot open " + *table + ": " + RecordedError());
    return true;
  }
  // A misspelt field in the header stops the import before any row is stored.
  const std::vector<std::string> known = FieldNames(where);
  for (const std::string& field : fields) {
    if (std::none_of(known.begin(), known.end(),
                     [&](const std::string& k) { return EqualNoCase(k, field); })) {
      Fail(where + path + ":1: no field " + field + " in " + *table + DidYouMean(field, known, ""));
      return true;
    }
  }
  if (!CallMethod("BeginTrans", {}, &result, where)) return true;
  if (AnsweredFalse(result)) {
    Fail(where + "cannot begin a transaction: " + RecordedError());
    return true;
  }
  // The reason is read before the rollback, which records nothing of its own when it succeeds.
  const auto failed = [&](const std::string& message) {
    Fail(message + "; nothing was stored");
    CallMethod("Rollback", {}, &result, where);
  };
  while (csv.Next(&fields)) {
    const std::string at = where + path + ":" + std::to_string(csv.Line()) + ": ";
    if (fields.size() != names.size()) {
      failed(at + std::to_string(fields.size()) + " fields where the header has " +
             std::to_string(names.size()));
      return true;
    }
    std::vector<Variant> record;
    for (size_t i = 0; i < fields.size(); ++i) {
      std::optional<Bstr> value = Bstr::FromUtf8(fields[i]);
      if (!value) {
        failed(at + "not UTF-8 text");
        return true;
      }
      record.push_back(names[i]);
      record.push_back(fields[i].empty() ? Variant::Null() : Variant::Str(std::move(*value)));
    }
    const Variant array = Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(record)));
    if (!CallMethod("Append", {array, Variant::Bool(true)}, &result, at)) {
      CallMethod("Rollback", {}, &result, where);
      return true;
    }
    if (AnsweredFalse(result)) {
      failed(at + "Append answered false: " + RecordedError());
      return true;
    }
  }
  if (!csv.Error().empty()) {
    failed(where + path + ":" + std::to_string(csv.Line()) + ": " + csv.Error());
    return true;
  }
  if (!CallMethod("CommitTrans", {}, &result, where)) return true;
  if (AnsweredFalse(result)) Fail(where + "the import was not committed: " + RecordedError());
  return true;
}

std::vector<std::string> Session::FieldNames(const std::string& where) {
  std::vector<std::string> names;
  InvokeResult result;
  if (!CallMethod("Structure", {}, &result, where) || result.outs.size() != 1 ||
      !result.outs[0].IsArray() || result.outs[0].AsArray().ElementType() != VT_VARIANT) {
    return names;
  }
  const std::vector<Variant>& record = result.outs[0].AsArray().Elements();
  for (size_t i = 0; i + 1 < record.size(); i += 2) {
    if (record[i].vt() == VT_BSTR) names.push_back(record[i].AsBstr().Utf8());
  }
  return names;
}

}  // namespace vorlix::shell
