#include "phone/server/route.h"

#include <boost/beast/http/field.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <algorithm>
#include <cctype>

#include "phone/pairing/pairing_token.h"
#include "phone/players.h"
#include "phone/server/query_value.h"

namespace joywire::web {

namespace http = boost::beast::http;

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Whether a Host header (or an Origin's host) names this server as the connection reached it:
// the address it came in on, localhost on loopback, or the machine's .local name, with its port
// (which may be left out where it is the scheme's own). A name of somebody else's that points
// here (DNS rebinding) does not.
bool NamesThisServer(std::string_view name, const ServerNames& names) {
  const std::size_t colon = name.rfind(':');
  const std::string_view host = name.substr(0, colon);
  const auto port = names.local.port();
  const bool portFits = colon == std::string_view::npos
                            ? port == (names.tls ? 443 : 80)
                            : name.substr(colon + 1) == std::to_string(port);
  return portFits && (host == names.local.address().to_string() ||
                      (names.local.address().is_loopback() && host == "localhost") ||
                      (!names.networkName.empty() && SameName(host, names.networkName)));
}

// The page's own origin as the browser sees it: this server, by the scheme of the connection.
bool FromOwnOrigin(const Request& request, const ServerNames& names) {
  const auto origin = request.find(http::field::origin);
  if (origin == request.end()) {
    return true;  // not a browser; the token alone decides
  }
  const std::string_view scheme = names.tls ? "https://" : "http://";
  const std::string_view value = origin->value();
  return value.substr(0, scheme.size()) == scheme &&
         NamesThisServer(value.substr(scheme.size()), names);
}

Route Answer(Status status, std::string_view body, const char* type = "text/plain") {
  return Route{Route::kAnswer, status, body, type, false, false, {}};
}

// Refused with 403, and why, for the log.
Route Forbidden(const char* what, const char* why, bool close) {
  Route route = Answer(Status::forbidden, "forbidden\n");
  route.close = close;
  route.refusal = std::string(what) + " refused (403): " + why;
  return route;
}

const PageFile* FileAt(const WebServerSettings& settings, std::string_view path) {
  for (std::size_t i = 0; i < settings.fileCount; ++i) {
    if (settings.files[i].path == path) {
      return &settings.files[i];
    }
  }
  return nullptr;
}

int PlayerNumber(std::string_view text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != text.npos) {
    return 0;
  }
  const int number = std::stoi(std::string(text));
  return number <= kMaxPlayers ? number : 0;
}

}  // namespace

JoinRequest JoinRequestOf(std::string_view target) {
  std::string_view identity = QueryValue(target, "id");
  const bool wellFormed =
      identity.size() >= 8 && identity.size() <= 64 &&
      std::all_of(identity.begin(), identity.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
      });
  return JoinRequest{wellFormed ? identity : std::string_view(),
                     PlayerNumber(QueryValue(target, "want")),
                     PlayerNumber(QueryValue(target, "take"))};
}

const char* RefusalOf(const Request& request, const ServerNames& names) {
  if (!TokenMatches(QueryValue(request.target(), "token"), names.token)) {
    return "wrong or missing token";
  }
  if (request.count(http::field::origin) > 1) {
    return "more than one Origin";  // which one would a browser have meant?
  }
  if (!NamesThisServer(request[http::field::host], names)) {
    return "a Host that is not this server";
  }
  if (!FromOwnOrigin(request, names)) {
    return "foreign origin";
  }
  return nullptr;
}

Route RouteOf(const Request& request, Service service, const ServerNames& names,
              const WebServerSettings& settings) {
  if (request.count(http::field::host) > 1) {  // which one would it have meant?
    Route route = Answer(Status::bad_request, "one Host only\n");
    route.close = true;
    route.refusal = "bad request (400): more than one Host";
    return route;
  }
  const std::string_view target = request.target();
  const std::string_view path = target.substr(0, target.find('?'));
  const bool get = request.method() == http::verb::get || request.method() == http::verb::head;
  if (service == Service::kTrust) {
    if (get && path == "/") {
      return Answer(Status::ok, settings.trustPage, "text/html; charset=utf-8");
    }
    if (get && path == "/ca.crt") {
      return Answer(Status::ok, settings.authorityCertificate, "application/x-x509-ca-cert");
    }
    if (const PageFile* file = FileAt(settings, path);
        get && file != nullptr && file->onTrustPort) {
      return Answer(Status::ok, file->bytes, file->type);
    }
    return Answer(Status::not_found, "not found\n");
  }
  const bool upgrade = boost::beast::websocket::is_upgrade(request);
  const bool input = path == "/input" && request.method() == http::verb::post;
  const bool pairing = path == "/pairing" && get;
  if (upgrade || input || pairing) {
    // A name that is not this server's is told apart when the page asks about its pairing
    // (421), whatever the token: that tells a stranger nothing, and the page can say to use an
    // address that was printed.
    if (pairing && !NamesThisServer(request[http::field::host], names)) {
      Route route = Answer(Status::misdirected_request, "not this server's name\n");
      route.refusal = "pairing refused (421): a Host that is not this server";
      return route;
    }
    const char* refusal =
        upgrade && path != "/ws" ? "no WebSocket at this path" : RefusalOf(request, names);
    if (refusal != nullptr) {
      return Forbidden(upgrade ? "WebSocket" : input ? "request" : "pairing", refusal, upgrade);
    }
    Route route =
        upgrade ? Route{Route::kUpgrade, Status::switching_protocols, {}, "", true, false, {}}
        : input ? Route{Route::kInput, Status::no_content, {}, "text/plain", true, false, {}}
                : Answer(Status::no_content, "");
    route.showedToken = true;
    return route;
  }
  if (!get) {
    return Answer(Status::method_not_allowed, "GET only\n");
  }
  if (path == "/" || path == "/index.html") {
    Route route = Answer(Status::ok, settings.page, "text/html; charset=utf-8");
    route.kind = Route::kPage;
    return route;
  }
  if (const PageFile* file = FileAt(settings, path)) {
    return Answer(Status::ok, file->bytes, file->type);
  }
  return Answer(Status::not_found, "not found\n");
}

}  // namespace joywire::web
