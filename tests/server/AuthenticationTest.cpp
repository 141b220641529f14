// The handshake that opens a connection, fed as a server reading its socket would feed it: the
// exchanges real clients make, what is refused, and the bounds. Real clients meet it in
// ReplyTest (sd-bus) and the Python tests (libdbus).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "server/Authentication.h"

namespace vorlix {
namespace {

using State = Authentication::State;

constexpr uid_t kUid = 1000;
const std::string kGuid = "0123456789abcdef0123456789abcdef";
const std::string kNul(1, '\0');
const std::string kOk = "OK " + kGuid + "\r\n";
const std::string kRejected = "REJECTED EXTERNAL\r\n";

// text in hexadecimal, two digits to a byte, as clients write what they send.
std::string Hex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

// The line a client authenticates with, naming the user id spelled by digits.
std::string Auth(std::string_view digits) {
  return "AUTH EXTERNAL " + Hex(digits) + "\r\n";
}

// Everything the server said, and how it ended.
struct Exchange {
  State state = State::kTalking;
  std::string answer;
  std::string rest;
  bool fds = false;
  bool operator==(const Exchange&) const = default;
};

void PrintTo(const Exchange& e, std::ostream* out) {
  *out << "state " << static_cast<int>(e.state) << ", answer \"" << e.answer << "\", "
       << e.rest.size() << " bytes of rest, fds " << e.fds;
}

// Feeds chunks in turn to a handshake for kUid. Once it is done, the chunks not yet fed belong
// to the connection: they join the rest, as a server would hand them on. Once it failed, the
// connection is closed and they are never read.
Exchange Handshake(const std::vector<std::string>& chunks) {
  Authentication auth(kUid, kGuid);
  Exchange e;
  for (const std::string& chunk : chunks) {
    if (e.state == State::kTalking) {
      e.state = auth.Feed(chunk, &e.answer, &e.rest);
    } else if (e.state == State::kDone) {
      e.rest += chunk;
    }
  }
  e.fds = auth.PassesFds();
  return e;
}

// bytes a byte at a time.
std::vector<std::string> Bytes(std::string_view bytes) {
  std::vector<std::string> chunks;
  for (char c : bytes)
    chunks.emplace_back(1, c);
  return chunks;
}

// The start of a little-endian message whose bytes hold lines of the handshake, which must be
// passed on untouched, not answered.
const std::string kFirstMessage = std::string("l\1\0\1", 4) + "AUTH\r\nBEGIN\r\nCANCEL\r\n";

// A client may send its whole side at once, its first message included, before reading any
// answer: sd-bus leaves the user id to DATA, others name it in AUTH.
TEST(AuthenticationExchange, PipelinedClientGetsAllAnswersAndKeepsItsFirstMessage) {
  const std::string agree = "AGREE_UNIX_FD\r\n";
  EXPECT_EQ(
      Handshake({kNul + "AUTH EXTERNAL\r\nDATA\r\nNEGOTIATE_UNIX_FD\r\nBEGIN\r\n" + kFirstMessage}),
      (Exchange{State::kDone, "DATA\r\n" + kOk + agree, kFirstMessage, true}));
  EXPECT_EQ(Handshake({kNul + Auth("1000") + "NEGOTIATE_UNIX_FD\r\nBEGIN\r\n" + kFirstMessage}),
            (Exchange{State::kDone, kOk + agree, kFirstMessage, true}));
}

TEST(AuthenticationExchange, ByteAtATimeGivesTheSameAnswers) {
  const std::vector<std::string> scripts = {
      kNul + Auth("1000") + "NEGOTIATE_UNIX_FD\r\nBEGIN\r\n" + kFirstMessage,
      kNul + "AUTH EXTERNAL\r\nDATA\r\nNEGOTIATE_UNIX_FD\r\nBEGIN\r\n",
      kNul + "AUTH ANONYMOUS\r\nHELLO\r\n" + Auth("1001") + Auth("1000") + "BEGIN\r\n",
      kNul + "NEGOTIATE_UNIX_FD\r\nBEGIN\r\n",
      kNul + std::string(20000, 'X'),
  };
  for (const std::string& script : scripts) {
    SCOPED_TRACE(script.substr(1, 40));
    EXPECT_EQ(Handshake(Bytes(script)), Handshake({script}));
  }
}

// A claimed user id that is not the socket's, or not a user id at all, is refused; the client
// may try again.
TEST(AuthenticationRefuses, AnyButTheSocketsUserId) {
  const std::vector<std::string> refused = {
      Auth("1001"),
      Auth("100"),         // a prefix of the right one
      Auth("10000"),       // the right one, a digit longer
      Auth("4294968296"),  // 2^32 + 1000, which wraps to the right one in 32 bits
      Auth("+1000"),
      Auth(" 1000"),
      Auth("1000 "),
      Auth(""),
      Auth("0x3e8"),
      "AUTH EXTERNAL 3130303\r\n",    // an odd number of digits
      "AUTH EXTERNAL 3g303030\r\n",   // not hexadecimal
      "AUTH EXTERNAL 31303030 \r\n",  // more than the one word
  };
  for (const std::string& line : refused) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Handshake({kNul + line + Auth("1000") + "BEGIN\r\n"}),
              (Exchange{State::kDone, kRejected + kOk, "", false}));
    // Refused is not authenticated.
    EXPECT_EQ(Handshake({kNul + line + "BEGIN\r\n"}).state, State::kFailed);
  }
}

TEST(AuthenticationRefuses, MechanismsOtherThanExternal) {
  for (const char* line : {"AUTH\r\n", "AUTH ANONYMOUS\r\n", "AUTH DBUS_COOKIE_SHA1 31303030\r\n",
                           "AUTH external 31303030\r\n", "AUTH  EXTERNAL 31303030\r\n"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Handshake({kNul + line + Auth("1000")}),
              (Exchange{State::kTalking, kRejected + kOk, "", false}));
  }
}

// AUTH EXTERNAL without the user id: the server asks for it with DATA, and a refused or
// unexpected answer sends the client back to the start.
TEST(AuthenticationExchange, DataAsksForTheUserIdAndAnyOtherAnswerStartsOver) {
  EXPECT_EQ(Handshake({kNul + "AUTH EXTERNAL\r\n", "DATA\r\n", "BEGIN\r\n"}),
            (Exchange{State::kDone, "DATA\r\n" + kOk, "", false}));
  EXPECT_EQ(Handshake({kNul + "AUTH EXTERNAL\r\nDATA " + Hex("1000") + "\r\nBEGIN\r\n"}).answer,
            "DATA\r\n" + kOk);
  // Refused sends the client back to the start: neither authenticated nor still asked for DATA.
  EXPECT_EQ(Handshake({kNul + "AUTH EXTERNAL\r\nDATA " + Hex("1001") + "\r\nDATA\r\nBEGIN\r\n"}),
            (Exchange{State::kFailed, "DATA\r\n" + kRejected + "ERROR\r\n", "", false}));
  for (const char* line : {"CANCEL\r\n", "ERROR no\r\n", "NEGOTIATE_UNIX_FD\r\n",
                           "AUTH EXTERNAL 31303030\r\n", "HELLO\r\n"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Handshake({kNul + "AUTH EXTERNAL\r\n" + line + "DATA\r\n"}),
              (Exchange{State::kTalking, "DATA\r\n" + kRejected + "ERROR\r\n", "", false}));
  }
}

TEST(AuthenticationFails, WithoutTheNulFirstOrWithBeginBeforeOk) {
  EXPECT_EQ(Handshake({Auth("1000") + "BEGIN\r\n"}), (Exchange{State::kFailed, "", "", false}));
  EXPECT_EQ(Handshake({"\1" + Auth("1000")}).state, State::kFailed);
  EXPECT_EQ(Handshake({kNul + "BEGIN\r\n"}).state, State::kFailed);
  EXPECT_EQ(Handshake({kNul + "NEGOTIATE_UNIX_FD\r\nBEGIN\r\n"}),
            (Exchange{State::kFailed, "ERROR\r\n", "", false}));
  EXPECT_EQ(Handshake({kNul + "AUTH EXTERNAL\r\nBEGIN\r\n"}).state, State::kFailed);
}

// Lines of unknown commands that take up exactly bytes, CR LF included.
std::string Filler(size_t bytes) {
  std::string filler;
  for (; bytes > 0; bytes -= std::min<size_t>(bytes, 1000))
    filler += std::string(std::min<size_t>(bytes, 1000) - 2, 'X') + "\r\n";
  return filler;
}

TEST(AuthenticationFails, OverTheBoundsOfALineOrOfTheWholeHandshake) {
  const std::string longest(16 * 1024, 'X');
  EXPECT_EQ(Handshake({kNul + longest + "\r\n"}),
            (Exchange{State::kTalking, "ERROR\r\n", "", false}));
  EXPECT_EQ(Handshake({kNul + longest + "X\r\n"}).state, State::kFailed);
  // A line over the bound fails before it ends, which it might never do; its CR alone does not
  // take it over.
  EXPECT_EQ(Handshake({kNul + longest + "X"}).state, State::kFailed);
  EXPECT_EQ(Handshake({kNul + longest + "\r", "\n"}),
            (Exchange{State::kTalking, "ERROR\r\n", "", false}));
  const std::string start = kNul + Auth("1000");
  const std::string begin = "BEGIN\r\n";
  const size_t filler = 64 * 1024 - start.size() - begin.size();
  EXPECT_EQ(Handshake({start + Filler(filler) + begin}).state, State::kDone);
  EXPECT_EQ(Handshake({start + Filler(filler + 1) + begin}).state, State::kFailed);
  // Not only when a line ends.
  EXPECT_EQ(Handshake({start + Filler(filler) + std::string(begin.size(), 'X')}).state,
            State::kTalking);
  EXPECT_EQ(Handshake({start + Filler(filler) + std::string(begin.size() + 1, 'X')}).state,
            State::kFailed);
}

TEST(AuthenticationCommands, UnknownOnesAreAnsweredWithError) {
  for (const char* line :
       {"HELLO\r\n", "\r\n", "auth EXTERNAL 31303030\r\n", "DATA\r\n", "DATA 31303030\r\n",
        "OK\r\n", "REJECTED EXTERNAL\r\n", "NEGOTIATE_UNIX_FD\r\n", "begin\r\n"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Handshake({kNul + line + Auth("1000")}),
              (Exchange{State::kTalking, "ERROR\r\n" + kOk, "", false}));
  }
}

// A client that starts over after OK is no longer authenticated, and what it agreed is void.
TEST(AuthenticationCommands, StartingOverAfterOk) {
  const std::string agreed = kNul + Auth("1000") + "NEGOTIATE_UNIX_FD\r\n";
  for (const std::string& line : {Auth("1001"), std::string("CANCEL\r\n")}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Handshake({agreed + line + "BEGIN\r\n"}),
              (Exchange{State::kFailed, kOk + "AGREE_UNIX_FD\r\n" + kRejected, "", false}));
  }
  EXPECT_EQ(Handshake({agreed + Auth("1000") + "BEGIN\r\n"}),
            (Exchange{State::kDone, kOk + "AGREE_UNIX_FD\r\n" + kOk, "", false}));
}

}  // namespace
}  // namespace vorlix
