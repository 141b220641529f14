// A second process for the engine tests.
//   engine_helper hold PATH      opens PATH exclusively, prints "ready", and keeps it open until
//                                its standard input closes
//   engine_helper open PATH      opens PATH for writing and prints the failure code (0: opened)
//   engine_helper insert PATH N  inserts rows 1..N into table Log(N LONG) one by one, printing
//                                each number once its row is stored, then waits to be killed
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/DaoException.h"
#include "engine/Database.h"

using vorlix::Bstr;
using vorlix::CDaoDatabase;
using vorlix::CDaoException;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const Bstr path = Bstr::FromUtf8(argv[2]).value();
  CDaoDatabase db;
  try {
    if (command == "hold") {
      db.Open(path, true, false);
      std::printf("ready\n");
      std::fflush(stdout);
      char c;
      while (read(0, &c, 1) > 0) {
      }
      return 0;
    }
    if (command == "open") {
      db.Open(path, false, false);
      std::printf("0\n");
      return 0;
    }
    if (command == "insert" && argc == 4) {
      db.Open(path, false, false);
      const int n = std::stoi(argv[3]);
      for (int i = 1; i <= n; ++i) {
        db.Db().Exec("INSERT INTO Log (N) VALUES (" + std::to_string(i) + ")");
        std::printf("%d\n", i);
        std::fflush(stdout);
      }
      for (;;)
        pause();
    }
  } catch (const CDaoException& e) {
    std::printf("%d\n", e.Code());
    return 0;
  }
  return 2;
}
