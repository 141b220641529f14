// The vorlix program run on scripts against the real server, which it starts itself; registry
// and runtime directory in a temporary folder, the script's files in its working folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

struct ShellRun {
  int status = -1;
  std::string output;  // standard output and error together, in order
};

class ShellProcessTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.Register()); }
  // The shell has released its object: the server it started ends by itself.
  void TearDown() override { EXPECT_TRUE(folder_.ServerEnded()); }

  // Runs vorlix with arguments (already quoted for the shell) in the working folder.
  ShellRun Shell(const std::string& arguments) {
    const std::string command =
        "cd '" + work_.dir().string() + "' && '" VORLIX_SHELL_PATH "' " + arguments + " 2>&1";
    ShellRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  test::ServerFolder folder_;
  test::TempDir work_;
};

TEST_F(ShellProcessTest, ScriptRunsCallsAndPrintsTheirAnswers) {
  std::ofstream(work_.Path("people.vsh")) <<
      R"(# People
CreateDatabase "people.vdb"
OpenForWrite "people.vdb"
CreateTable "People" ["*RTLB*", "ID", "LONG", false, empty, "I", true, true, "*RTLE*", "*RTLB*", "Name", "TEXT", 40, false, empty, "*RTLE*"]
Table "People" "ID"
Append ["Name", "Ada"] true; Append ["Name", "Grace"] true
SQL "SELECT ID, Name FROM People ORDER BY ID"
.help seek
)";
  const ShellRun run = Shell("--echo --strict people.vsh");
  EXPECT_EQ(run.status, 0) << run.output;
  const char* expected[] = {
      "# People\n> CreateDatabase \"people.vdb\"\ntrue\n",
      "> OpenForWrite \"people.vdb\"\ntrue\nbReadOnly: false\n",
      "pvRecordArray:\n  ID  Name\n  --  -------\n  1   \"Ada\"\n  2   \"Grace\"\n",
      "> .help seek\nSeek(VARIANT* pvSeek) -> VARIANT_BOOL bSuccess, out VARIANT pvReturnArray\n",
  };
  for (const char* text : expected)
    EXPECT_NE(run.output.find(text), std::string::npos) << text << "\nin:\n" << run.output;
}

TEST_F(ShellProcessTest, FailuresAreNamedAndSetTheExitStatus) {
  // Bad input and a failed call do not end the session; the last call still runs.
  const ShellRun run =
      Shell("-c 'Seek \"x\" \"y\"; GetFieldName \"one\"; NoSuch; Top; GetVorlixVersion'");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(run.output,
            "Seek: DISP_E_BADPARAMCOUNT, expected Seek(VARIANT* pvSeek) -> VARIANT_BOOL "
            "bSuccess, out VARIANT pvReturnArray\n"
            "GetFieldName: DISP_E_TYPEMISMATCH in argument iIndex\n"
            "NoSuch: DISP_E_UNKNOWNNAME\n"
            "false\n"
            "pvReturnArray: empty\n"
            "no error was recorded\n"
            "1\n");
  const ShellRun bad = Shell("-c 'GetVorlixVersion \"unterminated'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.output, "column 18: unterminated string\n");
}

TEST_F(ShellProcessTest, FalseAnswersShowTheErrorTheyRecorded) {
  // The error printed is the one the object recorded, as GetLastDAOError reads it; a later
  // false answer that records nothing does not repeat the old one.
  const ShellRun run =
      Shell("-c 'CreateDatabase \"a.vdb\"; CreateDatabase \"a.vdb\"; GetLastDAOError; Top'");
  EXPECT_EQ(run.status, 0) << run.output;
  const size_t code = run.output.find("plErrorCode: ");
  const size_t description = run.output.find("pbsDescription: \"");
  ASSERT_NE(description, std::string::npos) << run.output;
  const std::string recorded =
      "error " + run.output.substr(code + 13, run.output.find('\n', code) - code - 13) + ": " +
      run.output.substr(description + 17, run.output.find("\"\n", description) - description - 17);
  EXPECT_EQ(recorded.substr(0, 12), "error 3204: ");
  EXPECT_EQ(run.output.substr(0, code), "true\nfalse\n" + recorded + "\n");
  EXPECT_EQ(run.output.substr(run.output.find("\"\n", description) + 2),
            "false\npvReturnArray: empty\nno error was recorded\n");

  const ShellRun strict = Shell("--strict -c 'CreateDatabase \"a.vdb\"; Top'");
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.output, "false\nCreateDatabase answered false: " + recorded +
                               "\nfalse\npvReturnArray: empty\n"
                               "Top answered false: no error was recorded\n");

  // Open fails with "*REPAIR*" instead of false; a name it answers is no failure.
  const ShellRun open =
      Shell("--strict -c 'Open \"missing.vdb\" false false; Open \"a.vdb\" false false'");
  EXPECT_EQ(open.status, 1);
  EXPECT_TRUE(open.output.starts_with("\"*REPAIR*\"\nOpen answered \"*REPAIR*\": error 3024: "))
      << open.output;
  EXPECT_TRUE(open.output.ends_with("\n\"a.vdb\"\n")) << open.output;
}

TEST_F(ShellProcessTest, QuitWordsEndAndTyposGetSuggestions) {
  const ShellRun run = Shell("-c 'GetVorlixVersoin; .hlep; .help Sek; .help Nothing; exit; Top'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output,
            "GetVorlixVersoin: DISP_E_UNKNOWNNAME, did you mean GetVorlixVersion?\n"
            "unknown command .hlep, did you mean .help? (.help lists the commands)\n"
            "no method Sek in the type description, did you mean Seek?\n"
            "no method Nothing in the type description\n");
  // Every spelling of the end stops the script before its next line.
  for (const char* end : {"quit", "QUIT", ".quit", "exit"}) {
    std::ofstream(work_.Path("end.vsh")) << "GetVorlixVersion\n" << end << "\nGetVorlixVersion\n";
    const ShellRun script = Shell("end.vsh");
    EXPECT_EQ(script.status, 0) << end;
    EXPECT_EQ(script.output, "1\n") << end;
  }
}

TEST_F(ShellProcessTest, SqlLinesAndTheCommandsThatShapeThem) {
  std::ofstream(work_.Path("sql.vsh")) <<
      R"(CreateDatabase "q.vdb"; OpenForWrite "q.vdb"
CREATE TABLE People (ID LONG, Name TEXT(40), Born DATETIME);
insert into People (ID, Name, Born)
  values (1, 'Ada; "the first"', '1815-12-10');
INSERT INTO People (ID, Name) VALUES (2, 'Grace'); SELECT Name FROM People WHERE ID = 2; Count
.tables
.schema people
.mode csv
SELECT * FROM People ORDER BY ID;
.headers off
.once once.txt
SELECT ID FROM People ORDER BY ID;
SELECT COUNT(*) AS n FROM People;
.output out.txt
.mode table
SELECT ID, Name FROM People WHERE ID = 2;
.output
.timer on
SELECT ID, Born FROM People WHERE Born IS NULL;
.timer off
SELECT * FROM Nobody;
.bail on
.mode xml
GetVorlixVersion
)";
  const ShellRun run = Shell("sql.vsh");
  EXPECT_EQ(run.status, 1);
  const std::string schema = run.output.substr(run.output.find("CREATE TABLE"));
  EXPECT_EQ(run.output.substr(0, run.output.find("time: ") + 6),
            "true\ntrue\nbReadOnly: false\n"
            "Name\n-----\nGrace\n"                        // a sole column keeps its name
            "false\npiCount: 0\nno error was recorded\n"  // Count without a table: a call
            "People\n" +
                schema.substr(0, schema.find(";\n") + 2) +
                "ID,Name,Born\r\n"
                "1,\"Ada; \"\"the first\"\"\",1815-12-10 00:00:00\r\n"
                "2,Grace,\r\n"
                "2\r\n"
                "2  \n"  // after .output alone, to the screen again
                "time: ");
  EXPECT_NE(schema.find("CREATE TABLE People (ID LONG, Name TEXT(40)"), std::string::npos);
  EXPECT_EQ(test::ReadText(work_.Path("once.txt")), "1\r\n2\r\n");
  EXPECT_EQ(test::ReadText(work_.Path("out.txt")), "2  Grace\n");
  EXPECT_NE(run.output.find(" s\nsql.vsh:21: error 3078: "), std::string::npos) << run.output;
  // .bail stops at the next failure: GetVorlixVersion does not run.
  EXPECT_TRUE(run.output.ends_with("\nsql.vsh:23: usage: .mode table|csv|tsv|json|line\n"))
      << run.output;
  // The end of the input ends a statement, unless it ends inside a quote.
  const ShellRun ended = Shell("-c 'OpenForWrite \"q.vdb\"; SELECT 6 * 7'");
  EXPECT_EQ(ended.output, "true\nbReadOnly: false\n6 * 7\n-----\n42\n");
  EXPECT_EQ(ended.status, 0);
  const ShellRun closed = Shell("-c 'SELECT 6 * 7;'");
  EXPECT_EQ(closed.output, "no database is open for SQL (Open or OpenForWrite one)\n");
  // A full disk is told at the statement that met it, and answers come back to the screen.
  const ShellRun full = Shell("-c '.output /dev/full; GetVorlixVersion; GetVorlixVersion'");
  EXPECT_EQ(full.output, "cannot write /dev/full; answers go to the screen again\n1\n");
  EXPECT_EQ(full.status, 1);
  const ShellRun open = Shell("-c \"SELECT 'x;\"");
  EXPECT_EQ(open.output, "the input ends inside a quote of an SQL statement; it did not run\n");
  EXPECT_EQ(open.status, 1);
}

TEST_F(ShellProcessTest, IndexesListsEachTablesIndexesAndKeepsTheCurrentTable) {
  std::ofstream(work_.Path("indexes.vsh")) <<
      R"(CreateDatabase "i.vdb"; OpenForWrite "i.vdb"
CreateTable "People" ["*RTLB*", "ID", "LONG", false, empty, "I", true, true, "*RTLE*", "*RTLB*", "Name", "TEXT", 40, false, empty, "*RTLE*"]
CreateIndex "People" "Name" false false
CREATE TABLE Plain (X LONG);
INSERT INTO People (ID, Name) VALUES (1, 'Ada'); INSERT INTO People (ID, Name) VALUES (2, 'Grace');
.indexes
TableIsReady
Table "People" "Name"; Seek "Grace"
.indexes Plain
.indexes people
GetCurrentTable; GetCurrentIndex; GetRecord
.indexes Peple
)";
  const ShellRun run = Shell("indexes.vsh");
  EXPECT_EQ(run.status, 1);
  const std::string calls = "true\ntrue\nbReadOnly: false\ntrue\ntrue\n";
  const std::string seek = "true\ntrue\npvReturnArray:\n  ID    2\n  Name  \"Grace\"\n";
  // Tables that were not open before are closed again, and the current one stays current on
  // its index and record.
  EXPECT_EQ(run.output, calls + "People  ID\nPeople  Name\ntrue\n" + seek +
                            "ID\nName\n\"People\"\n\"Name\"\ntrue\npvRecordArray:\n  ID    2\n"
                            "  Name  \"Grace\"\n"
                            "indexes.vsh:12: no table Peple, did you mean People?\n");
}

TEST_F(ShellProcessTest, HelpAndVersionAnswerWithoutCreatingAnObject) {
  const ShellRun help = Shell("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.output.starts_with("Usage: vorlix [--echo] [--strict] [--progid PROGID]"))
      << help.output;
  EXPECT_EQ(Shell("-h").output, help.output);
  const ShellRun wrong = Shell("--bogus");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.output, help.output);
  // The server's version and the shell's come from one source.
  const ShellRun version = Shell("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ("vorlix-server " + version.output.substr(version.output.find(' ') + 1),
            test::RunCapturing(VORLIX_SERVER_PATH, {"--version"}).out);
  EXPECT_TRUE(version.output.starts_with("vorlix ")) << version.output;
  EXPECT_NE(access(folder_.SocketPath().c_str(), F_OK), 0) << "a server was started";
}

TEST_F(ShellProcessTest, DotOpenOpensAFileAsOpenDoes) {
  const ShellRun run =
      Shell("-c 'CreateDatabase \"o.vdb\"; .open o.vdb; IsOpen; .open missing.vdb; .open'");
  EXPECT_EQ(run.output,
            "true\n\"o.vdb\"\ntrue\n\"*REPAIR*\"\n"
            "error 3024: The file 'missing.vdb' does not exist.\nusage: .open FILE\n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(ShellProcessTest, CsvImportAndExportRoundTrip) {
  // Commas, quotes, line breaks inside fields, empty fields (Null), dates, Booleans and money:
  // exported as they were imported, byte for byte.
  const std::string people =
      "ID,Name,Note,Born,Paid,Pay\r\n"
      "1,\"Ada, Countess\",plain,1815-12-10 00:00:00,True,12.5\r\n"
      "2,\"Says \"\"hi\"\"\",\"two\r\nlines\",1906-12-09 12:30:00,False,-3\r\n"
      "3,,,,,\r\n";
  std::ofstream(work_.Path("people.csv"), std::ios::binary) << people;
  std::ofstream(work_.Path("short.csv")) << "ID,Name\n4,d\n5\n6,f\n";
  std::ofstream(work_.Path("typo.csv")) << "ID,Nmae\n7,g\n";
  const ShellRun run = Shell(
      "-c 'CreateDatabase \"p.vdb\"; OpenForWrite \"p.vdb\"; CreateTable \"People\" "
      "[\"*RTLB*\", \"ID\", \"LONG\", false, empty, \"*RTLE*\", \"*RTLB*\", \"Name\", "
      "\"TEXT\", 40, false, empty, \"*RTLE*\", \"*RTLB*\", \"Note\", \"MEMO\", false, empty, "
      "\"*RTLE*\", \"*RTLB*\", \"Born\", \"DATE\", false, empty, \"*RTLE*\", \"*RTLB*\", "
      "\"Paid\", \"BOOL\", false, empty, \"*RTLE*\", \"*RTLB*\", \"Pay\", \"CURRENCY\", false, "
      "empty, \"*RTLE*\"]; .import people.csv people; .mode csv; .once back.csv; "
      "SELECT * FROM People ORDER BY ID; .import short.csv People; .import typo.csv People; "
      ".import people.csv Peeple; SELECT COUNT(*) AS n, MAX(ID) AS top FROM People;'");
  EXPECT_EQ(test::ReadText(work_.Path("back.csv")), people);
  // A short row stops the import and takes back the rows before it; a misspelt field stores
  // nothing.
  EXPECT_EQ(run.output,
            "true\ntrue\nbReadOnly: false\ntrue\n"
            "short.csv:3: 1 fields where the header has 2; nothing was stored\n"
            "typo.csv:1: no field Nmae in People, did you mean Name?\n"
            "no table Peeple, did you mean People?\n"
            "n,top\r\n3,3\r\n");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace vorlix
