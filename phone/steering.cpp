#include "phone/steering.h"

namespace joywire::web {

void Steering::Join(const std::shared_ptr<Steerer>& steerer) {
  const std::shared_ptr<Steerer> previous = steerer_.lock();
  if (previous == steerer) {
    return;
  }
  steerer_ = steerer;
  if (previous) {
    previous->TakenOver();
  }
}

void Steering::Steer(const Steerer& steerer, const ControllerMessage& message) {
  if (!Steers(steerer)) {
    return;
  }
  events_.Forward(message);
  quiet_ = false;
  silence_.expires_after(kSilence);
  silence_.async_wait([this](boost::system::error_code error) {
    if (!error && !quiet_) {
      quiet_ = true;
      events_.Neutral();
    }
  });
}

void Steering::Leave(const Steerer& steerer) {
  if (Steers(steerer)) {
    steerer_.reset();
    LetGo();
  }
}

void Steering::LetGo() {
  silence_.cancel();
  if (!quiet_) {
    quiet_ = true;
    events_.Neutral();
  }
}

}  // namespace joywire::web
