#include "phone/server/route.h"

#include <gtest/gtest.h>

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/parser.hpp>

#include <iterator>
#include <string>

namespace joywire::web {
namespace {

constexpr char kToken[] = "C1BQv6uzXEvk91T0EBb60g";
const PageFile kFiles[] = {{"/icon.svg", "image/svg+xml", "<svg/>"},
                           {"/trust.js", "text/javascript", "", true}};

// A request as it comes over the wire, read by Beast's own parser.
Request Parsed(std::string text) {
  for (std::size_t at; (at = text.find("TOKEN")) != std::string::npos;) {
    text.replace(at, 5, kToken);
  }
  for (std::size_t at; (at = text.find("WS")) != std::string::npos;) {
    text.replace(at, 2,
                 "Connection: Upgrade\nUpgrade: websocket\nSec-WebSocket-Version: 13\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==");
  }
  std::string wire;
  for (const char c : text + "\n") {
    wire += c == '\n' ? "\r\n" : std::string(1, c);
  }
  boost::beast::http::request_parser<boost::beast::http::string_body> parser;
  boost::beast::error_code error;
  parser.eager(true);
  parser.put(boost::asio::buffer(wire), error);
  EXPECT_TRUE(!error && parser.is_done()) << text << error.message();
  return parser.release();
}

// One request a row, on a plain connection to 10.0.0.5:8080 of the machine called pi.local:
// where it goes, and the start of what is logged of a refusal.
TEST(Route, EachRequestGoesWhereItsTokenNamesAndMethodSay) {
  constexpr auto c = Service::kController;
  constexpr auto t = Service::kTrust;
  const struct {
    const char* request;
    Service service;
    Route::Kind kind;
    Status status;
    const char* refusal;
  } cases[] = {
      {"GET / HTTP/1.1\nHost: 10.0.0.5:8080\n", c, Route::kPage, Status::ok, ""},
      {"HEAD /index.html HTTP/1.1\nHost: 10.0.0.5:8080\n", c, Route::kPage, Status::ok, ""},
      {"GET /icon.svg HTTP/1.1\nHost: 10.0.0.5:8080\n", c, Route::kAnswer, Status::ok, ""},
      {"GET /secret HTTP/1.1\nHost: 10.0.0.5:8080\n", c, Route::kAnswer, Status::not_found, ""},
      {"PUT / HTTP/1.1\nHost: x\n", c, Route::kAnswer, Status::method_not_allowed, ""},
      {"GET / HTTP/1.1\nHost: 10.0.0.5:8080\nHost: evil.test\n", c, Route::kAnswer,
       Status::bad_request, "bad request (400): more than one Host"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nOrigin: http://10.0.0.5:8080\nWS\n", c,
       Route::kUpgrade, Status::switching_protocols, ""},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: PI.local:8080\nOrigin: http://pi.local:8080\nWS\n", c,
       Route::kUpgrade, Status::switching_protocols, ""},
      {"GET /ws HTTP/1.1\nHost: 10.0.0.5:8080\nWS\n", c, Route::kAnswer, Status::forbidden,
       "WebSocket refused (403): wrong or missing token"},
      {"GET /x?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nWS\n", c, Route::kAnswer,
       Status::forbidden, "WebSocket refused (403): no WebSocket at this path"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nOrigin: http://evil.test\nWS\n", c,
       Route::kAnswer, Status::forbidden, "WebSocket refused (403): foreign origin"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nOrigin: https://10.0.0.5:8080\nWS\n", c,
       Route::kAnswer, Status::forbidden, "WebSocket refused (403): foreign origin"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nOrigin: http://10.0.0.5:8080\n"
       "Origin: http://evil.test\nWS\n",
       c, Route::kAnswer, Status::forbidden, "WebSocket refused (403): more than one Origin"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: evil.test:8080\nWS\n", c, Route::kAnswer,
       Status::forbidden, "WebSocket refused (403): a Host that is not this server"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: other.local:8080\nWS\n", c, Route::kAnswer,
       Status::forbidden, "WebSocket refused (403): a Host that is not this server"},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8081\nWS\n", c, Route::kAnswer,
       Status::forbidden, "WebSocket refused (403): a Host that is not this server"},
      {"POST /input?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nContent-Length: 0\n", c,
       Route::kInput, Status::no_content, ""},
      {"POST /input?token=x HTTP/1.1\nHost: 10.0.0.5:8080\nContent-Length: 0\n", c, Route::kAnswer,
       Status::forbidden, "request refused (403): wrong or missing token"},
      {"GET /pairing?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\n", c, Route::kAnswer,
       Status::no_content, ""},
      {"GET /pairing?token=AAAAAAAAAAAAAAAAAAAAAA HTTP/1.1\nHost: 10.0.0.5:8080\n", c,
       Route::kAnswer, Status::forbidden, "pairing refused (403): wrong or missing token"},
      {"GET /pairing?token=TOKEN HTTP/1.1\nHost: joywire.example:8080\n", c, Route::kAnswer,
       Status::misdirected_request, "pairing refused (421)"},
      {"GET / HTTP/1.1\nHost: x\n", t, Route::kAnswer, Status::ok, ""},
      {"GET /ca.crt HTTP/1.1\nHost: x\n", t, Route::kAnswer, Status::ok, ""},
      {"GET /trust.js HTTP/1.1\nHost: x\n", t, Route::kAnswer, Status::ok, ""},
      {"GET /icon.svg HTTP/1.1\nHost: x\n", t, Route::kAnswer, Status::not_found, ""},
      {"GET /ws?token=TOKEN HTTP/1.1\nHost: 10.0.0.5:8080\nWS\n", t, Route::kAnswer,
       Status::not_found, ""},
  };
  WebServerSettings settings{};
  settings.page = "<html>";
  settings.files = kFiles;
  settings.fileCount = std::size(kFiles);
  const ServerNames names{
      {boost::asio::ip::make_address("10.0.0.5"), 8080}, false, "pi.local", kToken};
  for (const auto& one : cases) {
    const Route route = RouteOf(Parsed(one.request), one.service, names, settings);
    EXPECT_EQ(route.kind, one.kind) << one.request;
    EXPECT_EQ(route.status, one.status) << one.request;
    EXPECT_EQ(route.refusal.rfind(one.refusal, 0), 0u) << one.request << route.refusal;
    EXPECT_EQ(route.refusal.empty(), *one.refusal == '\0') << one.request;
    EXPECT_EQ(route.showedToken, std::string(one.request).find("TOKEN") != std::string::npos &&
                                     *one.refusal == '\0' && one.service == c)
        << one.request;
  }
}

TEST(JoinRequestOf, TheQueryAsksMalformedPartsCountAsNotAsked) {
  const JoinRequest asked = JoinRequestOf("/ws?token=t&id=Ab-_0123456789&want=16&take=2");
  EXPECT_EQ(asked.identity, "Ab-_0123456789");
  EXPECT_EQ(asked.wanted, 16);
  EXPECT_EQ(asked.takeOver, 2);
  for (const char* target : {"/ws?id=short&want=17&take=-1", "/ws?id=has%20space1&want=1x",
                             "/ws?want=007&take=", "/ws"}) {
    const JoinRequest none = JoinRequestOf(target);
    EXPECT_TRUE(none.identity.empty() && none.wanted == 0 && none.takeOver == 0) << target;
  }
}

}  // namespace
}  // namespace joywire::web
