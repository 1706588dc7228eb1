// The reply reader, fed by a server in memory: every reply of the table is
// the answer to one command, delivered in pieces of every size, so that line
// and reply boundaries fall everywhere. What the engine returns must not
// depend on how the bytes were cut, and afterwards the next command reads its
// own reply or the engine asks for a reconnect: never a reply meant for
// another command.

#include <gtest/gtest.h>

#include <string>

#include "platform/inet/control_channel.h"
#include "tests/inet/support/fake_session.h"

namespace orvex::testing {
namespace {

using inet::ControlChannel;
using win32::ERROR_FTP_DROPPED;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_CONNECTION_RESET;
using win32::ERROR_INTERNET_EXTENDED_ERROR;
using win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE;
using win32::ERROR_INTERNET_TIMEOUT;

std::string Repeated(const std::string& line, std::size_t times) {
  std::string text;
  for (std::size_t count = 0; count < times; ++count) text += line;
  return text;
}

struct ReplyCase {
  const char* name;
  std::string bytes;  // the server's answer to "CWD /folder"
  StreamEnd then;     // what the control connection does after it
  std::uint32_t error;
  int code = 0;          // the reply kept, when there is one
  std::string text = {};  // the reply's text, when given
};

TEST(ReplyReader, ReadsEachReplyWholeHoweverItIsCut) {
  const std::string longest(ControlChannel::kMaximumLineLength - 4, 'x');
  const ReplyCase cases[] = {
      {"one line", "250 Changed.\r\n", StreamEnd::Silent, 0, 250, "250 Changed."},
      {"bare LF", "250 Changed.\n", StreamEnd::Silent, 0, 250, "250 Changed."},
      {"no text", "250\r\n", StreamEnd::Silent, 0, 250, "250"},
      {"multi-line", "250-First\r\n250-Second\r\n250 End\r\n", StreamEnd::Silent, 0, 250,
       "250-First\r\n250-Second\r\n250 End"},
      {"lines that look like ends but are not",
       "250-Start\r\n 250 indented\r\n251 other code\r\n250-dash\r\n2500 longer\r\n250 End\r\n",
       StreamEnd::Silent, 0, 250,
       "250-Start\r\n 250 indented\r\n251 other code\r\n250-dash\r\n2500 longer\r\n250 End"},
      {"bare code ends a multi-line reply", "250-Start\r\n250\r\n", StreamEnd::Silent, 0, 250,
       "250-Start\r\n250"},
      {"preliminary reply first", "150 Wait.\r\n250 Changed.\r\n", StreamEnd::Silent, 0, 250},
      {"refusal", "550 No such folder.\r\n", StreamEnd::Silent, ERROR_INTERNET_EXTENDED_ERROR,
       550, "550 No such folder."},
      {"multi-line refusal", "550-No such\r\n550 folder.\r\n", StreamEnd::Silent,
       ERROR_INTERNET_EXTENDED_ERROR, 550, "550-No such\r\n550 folder."},
      {"server closing", "421 Timeout.\r\n", StreamEnd::Close, ERROR_FTP_DROPPED, 421},
      {"longest line", "250 " + longest + "\r\n", StreamEnd::Silent, 0, 250},
      {"longest line, bare LF", "250 " + longest + "\n", StreamEnd::Silent, 0, 250},
      {"over-long line", "250 " + longest + "y\r\n", StreamEnd::Silent,
       ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"over-long line, bare LF", "250 " + longest + "y\n", StreamEnd::Silent,
       ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"over-long continuation line", "250-Start\r\n" + longest + "yyyyy\r\n250 End\r\n",
       StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"too many lines",
       "250-Start\r\n" + Repeated("250-more\r\n", ControlChannel::kMaximumReplyLines) +
           "250 End\r\n",
       StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"not a code", "abc\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"code above 5xx", "600 Odd.\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"code below 1xx", "099 Odd.\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"two digits", "25\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"four digits", "2500 Odd.\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"letter after the code", "250x Odd.\r\n", StreamEnd::Silent,
       ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"empty line", "\r\n", StreamEnd::Silent, ERROR_INTERNET_INVALID_SERVER_RESPONSE},
      {"closed inside a multi-line reply", "250-Start\r\n250-more\r\n", StreamEnd::Close,
       ERROR_INTERNET_CONNECTION_ABORTED},
      {"closed inside a line", "250 Chan", StreamEnd::Close, ERROR_INTERNET_CONNECTION_ABORTED},
      {"closed without a reply", "", StreamEnd::Close, ERROR_INTERNET_CONNECTION_ABORTED},
      {"reset without a reply", "", StreamEnd::Reset, ERROR_INTERNET_CONNECTION_RESET},
      {"reset inside a multi-line reply", "250-Start\r\n", StreamEnd::Reset,
       ERROR_INTERNET_CONNECTION_RESET},
      {"silent inside a multi-line reply", "250-Start\r\n", StreamEnd::Silent,
       ERROR_INTERNET_TIMEOUT},
      {"silent without a reply", "", StreamEnd::Silent, ERROR_INTERNET_TIMEOUT},
  };
  for (const ReplyCase& test : cases) {
    for (const std::size_t piece : PieceSizes(test.bytes.size())) {
      SCOPED_TRACE(::testing::Message() << test.name << ", pieces of " << piece);
      FakeSession session;
      ASSERT_TRUE(session.Open().ok());
      session.network->On("CWD", test.bytes, test.then);
      session.network->ControlPieces(piece);
      const inet::Status status = session.connection->ChangeDirectory("/folder");
      EXPECT_EQ(status.error(), test.error);
      if (test.code != 0) {
        EXPECT_EQ(session.connection->last_reply().code, test.code);
      }
      if (!test.text.empty()) {
        EXPECT_EQ(session.connection->last_reply().text, test.text);
      }
      EXPECT_TRUE(session.InStepOrDropped());
      if (::testing::Test::HasFailure()) return;  // one cut of a case tells enough
    }
  }
}

}  // namespace
}  // namespace orvex::testing
