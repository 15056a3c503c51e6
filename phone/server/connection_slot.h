#pragma once

// The open connections of each listener, each counted against the budget while it lives
// (connection_budget.h decides), and the addresses that showed the token.
#include <boost/asio/ip/address.hpp>

#include <functional>
#include <list>
#include <vector>

#include "phone/forward/phone_events.h"
#include "phone/server/net.h"
#include "phone/server/route.h"

namespace joywire::web {

class ConnectionSlot;

struct ConnectionBook {
  explicit ConnectionBook(PhoneEvents& events) : events(events) {}

  PhoneEvents& events;                 // told of a connection closed to make room
  std::list<ConnectionSlot*> open[2];  // of each Service's listener, the oldest first
  // The addresses that showed the token, the latest last: phones that were paired, which a
  // flood from addresses that never did cannot push out.
  std::vector<asio::ip::address> paired;

  void RememberPaired(const asio::ip::address& address);
  bool WasPaired(const asio::ip::address& address) const;
};

// One open connection of a listener, counted against its limits while it lives.
class ConnectionSlot {
 public:
  // `close` ends the connection at once, when the slot makes room for a newer one. A
  // `webSocket` slot is a controller's, which has shown the token.
  ConnectionSlot(ConnectionBook& book, Service service, const tcp::socket& socket, bool webSocket,
                 std::function<void()> close);
  ~ConnectionSlot();
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

  // The connection showed the pairing token: nobody without it can make it give way.
  void ShowedToken();
  // It was taken over, or is closing: it counts as a stranger's again, and may give way.
  void LostToken() { showedToken_ = false; }
  // An HTTP connection waits for its next request (true), or is busy with one.
  void Idle(bool idle) { idle_ = idle; }

  // Whether a new connection from `peer` may be taken on `service`'s listener, after closing
  // the oldest one that has not shown the token where that makes room.
  static bool MakeRoom(ConnectionBook& book, Service service, const asio::ip::address& peer);

 private:
  ConnectionBook& book_;
  std::list<ConnectionSlot*>& connections_;
  std::list<ConnectionSlot*>::iterator entry_;
  asio::ip::address peer_;
  bool showedToken_;
  bool webSocket_;
  bool idle_ = false;
  bool closed_ = false;
  std::function<void()> close_;
};

}  // namespace joywire::web
