#pragma once

// Who steers: one controller at a time, the newest taking over; and the neutral position when
// it goes quiet (500 ms without a message), leaves, or is refused a message. The sessions use
// these verbs and nothing else of it.
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>

#include "phone/controller_message.h"
#include "phone/web_server.h"

namespace joywire::web {

// A controller repeats its state at least every 200 ms: this much silence means it is gone.
inline constexpr auto kSilence = std::chrono::milliseconds(500);

// A phone's WebSocket, or its HTTPS requests: told when another takes over.
class Steerer {
 public:
  virtual ~Steerer() = default;
  virtual void TakenOver() {}
};

class Steering {
 public:
  Steering(boost::asio::io_context& io, WebEvents& events) : events_(events), silence_(io) {}

  // `steerer` steers from now on; the one before it is told it was taken over.
  void Join(const std::shared_ptr<Steerer>& steerer);
  // A checked message: one datagram at once, if `steerer` steers; 500 ms of silence after it,
  // whoever steers by then, brings the neutral position.
  void Steer(const Steerer& steerer, const ControllerMessage& message);
  // `steerer` is gone, or was refused a message: the neutral position now, if it steered.
  void Leave(const Steerer& steerer);
  // The neutral position now, whoever steers (the job stops for a while).
  void LetGo();
  bool Steers(const Steerer& steerer) const { return steerer_.lock().get() == &steerer; }

 private:
  WebEvents& events_;
  std::weak_ptr<Steerer> steerer_;
  boost::asio::steady_timer silence_;
  bool quiet_ = true;  // the neutral position went out last (or nothing yet)
};

}  // namespace joywire::web
