// A second process for the engine tests.
//   engine_helper sql PATH [exclusive]
//                                opens PATH for writing (exclusively when asked), prints 0, and
//                                runs each line of its standard input as an action statement,
//                                printing the failure code of each (0: done)
// A failure to open prints its code instead.
#include <cstdio>
#include <iostream>
#include <string>

#include "engine/DaoException.h"
#include "engine/database/Database.h"
#include "engine/recordsets/QueryDef.h"

using vorlix::Bstr;
using vorlix::CDaoDatabase;
using vorlix::CDaoException;

namespace {

// Prints what f raised (0 for nothing) as a line.
template <typename F>
void Report(F f) {
  int code = 0;
  try {
    f();
  } catch (const CDaoException& e) {
    code = e.Code();
  }
  std::printf("%d\n", code);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const Bstr path = Bstr::FromUtf8(argv[2]).value();
  CDaoDatabase db;
  try {
    if (command == "sql") {
      Report([&] { db.Open(path, argc == 4 && std::string(argv[3]) == "exclusive", false); });
      for (std::string line; db.IsOpen() && std::getline(std::cin, line);) {
        Report([&] {
          vorlix::CDaoQueryDef q(&db);
          q.Create(Bstr(), Bstr::FromUtf8(line).value());
          q.Execute(vorlix::dbFailOnError);
        });
      }
      return 0;
    }
  } catch (const CDaoException& e) {
    std::printf("%d\n", e.Code());
    return 0;
  }
  return 2;
}
