#include "phone/server/connection_slot.h"

#include <algorithm>

#include "phone/server/connection_budget.h"

namespace joywire::web {

void ConnectionBook::RememberPaired(const asio::ip::address& address) {
  constexpr std::size_t kRemembered = 64;
  std::erase(paired, address);
  if (paired.size() >= kRemembered) {
    paired.erase(paired.begin());
  }
  paired.push_back(address);
}

bool ConnectionBook::WasPaired(const asio::ip::address& address) const {
  return std::find(paired.begin(), paired.end(), address) != paired.end();
}

ConnectionSlot::ConnectionSlot(ConnectionBook& book, Service service, const tcp::socket& socket,
                               bool webSocket, std::function<void()> close)
    : book_(book),
      connections_(book.open[static_cast<int>(service)]),
      showedToken_(webSocket),
      webSocket_(webSocket),
      close_(std::move(close)) {
  beast::error_code error;
  peer_ = socket.remote_endpoint(error).address();
  entry_ = connections_.insert(connections_.end(), this);
}

void ConnectionSlot::ShowedToken() {
  showedToken_ = true;
  book_.RememberPaired(peer_);
}

ConnectionSlot::~ConnectionSlot() {
  connections_.erase(entry_);
}

bool ConnectionSlot::MakeRoom(ConnectionBook& book, Service service,
                              const asio::ip::address& peer) {
  OpenConnection open[kMaxConnections];
  ConnectionSlot* slots[kMaxConnections];
  std::size_t count = 0;
  for (ConnectionSlot* slot : book.open[static_cast<int>(service)]) {
    if (!slot->closed_ && count < kMaxConnections) {  // one closed to make room ends in a moment
      slots[count] = slot;
      open[count++] = OpenConnection{slot->peer_, slot->showedToken_, book.WasPaired(slot->peer_),
                                     slot->webSocket_, slot->idle_};
    }
  }
  const std::ptrdiff_t close = ConnectionToClose(open, count, peer, book.WasPaired(peer));
  if (close < 0) {
    return close == kRoomEnough;
  }
  ConnectionSlot* closing = slots[close];
  closing->closed_ = true;
  closing->close_();
  book.events.Refused(closing->peer_.to_string(),
                      closing->showedToken_
                          ? "closed, to make room: its address held too many connections"
                          : "closed, to make room: it had not shown the token");
  return true;
}

}  // namespace joywire::web
