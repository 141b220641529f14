// seek: prints the record whose key on an index equals a value, through the typed proxy of
// Vorlix.DBConnection. Every failure is reported with its reason and a non-zero exit status.
//
//   seek quickstart.vdb Customers ID 2
//
// Built against the installed SDK by examples/CMakeLists.txt, or with pkg-config (README, C++).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "automation/Coerce.h"
#include "automation/SafeArray.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"

using namespace vorlix;

namespace {

// Reports a failed HRESULT, with the client library's words when it has some (why activation
// failed, a server that went away). Returns the exit status.
int FailedCall(const char* what, HRESULT hr) {
  const std::string& why = LastClientError();
  fprintf(stderr, "seek: %s: %s%s%s\n", what, HResultName(hr).c_str(), why.empty() ? "" : ": ",
          why.c_str());
  return 1;
}

// Reports what failed: the HRESULT of a call that failed, else the error the connection
// recorded for a call that answered false. Returns the exit status.
int Fail(DBConnection* db, const char* what, HRESULT hr) {
  int32_t code = 0;
  Bstr description;
  if (FAILED(hr)) {
    FailedCall(what, hr);
  } else if (SUCCEEDED(db->GetLastDAOError(&code, &description)) && code != 0) {
    fprintf(stderr, "seek: %s: error %d: %s\n", what, code, description.Utf8().c_str());
  } else {
    fprintf(stderr, "seek: %s: answered false\n", what);
  }
  return 1;
}

// The key as a number when the whole argument is one, else as text.
Variant Key(const char* argument) {
  char* end = nullptr;
  const long number = strtol(argument, &end, 10);
  if (*argument != '\0' && *end == '\0' && number == static_cast<int32_t>(number)) {
    return Variant::I4(static_cast<int32_t>(number));
  }
  return Variant::Str(Bstr::FromUtf8(argument).value_or(Bstr()));
}

// A field's value as text: Null, or what the value converts to.
std::string Text(const Variant& value) {
  Variant text;
  if (value.vt() == VT_NULL) return "Null";
  if (FAILED(ChangeType(value, VT_BSTR, &text))) return "?";
  return text.AsBstr().Utf8();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: seek FILE TABLE INDEX KEY\n");
    return 2;
  }
  auto text = [](const char* argument) { return Bstr::FromUtf8(argument).value_or(Bstr()); };
  std::unique_ptr<DBConnection> db;
  HRESULT hr = CreateObject("Vorlix.DBConnection", &db);
  if (FAILED(hr)) return FailedCall("creating Vorlix.DBConnection", hr);
  // Read-only: this program never writes. Open answers the database's name, and "*REPAIR*" or
  // "" when it failed.
  Bstr name;
  hr = db->Open(text(argv[1]), VARIANT_FALSE, VARIANT_TRUE, &name);
  if (FAILED(hr) || name.empty() || name == u"*REPAIR*") return Fail(db.get(), "Open", hr);
  VARIANT_BOOL ok = VARIANT_FALSE;
  hr = db->Table(text(argv[2]), text(argv[3]), &ok);
  if (FAILED(hr) || !ok) return Fail(db.get(), "Table", hr);
  Variant record;  // name, value, name, value ...
  hr = db->Seek(Key(argv[4]), &record, &ok);
  if (FAILED(hr) || !ok) return Fail(db.get(), "Seek", hr);
  const std::vector<Variant>& items = record.AsArray().Elements();
  for (size_t i = 0; i + 1 < items.size(); i += 2)
    printf("%s: %s\n", items[i].AsBstr().Utf8().c_str(), Text(items[i + 1]).c_str());
  hr = db->Close(&ok);
  if (FAILED(hr) || !ok) return Fail(db.get(), "Close", hr);
  return 0;
}  // the proxy's destruction releases the object
