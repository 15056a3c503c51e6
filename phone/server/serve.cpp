// The phone server's run, as the main of Beast's example servers: the listeners, TLS, the
// signals that end it, and a tick for the display. What happens to a phone's message:
// websocket_session.cpp (or http_session.cpp for HTTPS requests), shared_state.cpp,
// steering.cpp, then the Forwarder.
#include "phone/server/serve.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <vector>

#include "phone/server/listener.h"
#include "phone/server/rumble_listener.h"
#include "phone/server/shared_state.h"
#include "phone/server/tls_context.h"
#include "platform/terminal.h"

namespace joywire {

namespace web {

namespace {

constexpr auto kTickInterval = std::chrono::milliseconds(250);

// Every way a person or the system ends the program, as a signal: each ends it as Ctrl-C
// does, after the neutral position. (A closed output is no reason to end: SIGPIPE is ignored.)
#ifdef _WIN32
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#endif

struct Server {
  Server(const WebServerSettings& settings, Forwarder& forwarder, PhoneEvents& events)
      : forwarder(forwarder),
        connections(events),
        signals(io),
        jobStops(io),
        tick(io),
        state(settings, io, forwarder, events, connections),
        rumble(io, forwarder, state.steering) {}

  Forwarder& forwarder;
  ConnectionBook connections;  // before the io_context: see SharedState
  asio::io_context io;
  asio::signal_set signals;   // to end
  asio::signal_set jobStops;  // to stop for a while (Ctrl-Z)
  asio::steady_timer tick;
  TlsContext tls;
  SharedState state;
  RumbleListener rumble;  // what the feeders send back
  std::vector<std::unique_ptr<Listener>> listeners;
  bool stopping = false;
};

bool Listen(Server& server, std::uint16_t port, Service service, char* error,
            std::size_t errorCapacity) {
  auto listener = std::make_unique<Listener>(server.io, server.state, service);
  if (!listener->Open(server.state.settings.address, port, error, errorCapacity)) {
    return false;
  }
  server.listeners.push_back(std::move(listener));
  return true;
}

void Tick(Server& server) {
  server.tick.expires_after(kTickInterval);
  server.tick.async_wait([&server](beast::error_code error) {
    if (!error) {
      server.state.events.Tick();
      Tick(server);
    }
  });
}

// Ctrl-Z and the other signals that stop a job: every player let go first, then stopped; once
// continued, the controller's next message steers again.
void StopJobWhenAsked(Server& server) {
  server.jobStops.async_wait([&server](beast::error_code error, int) {
    if (error) {
      return;
    }
    server.state.steering.LetGo();
    server.state.events.Suspended();
    StopUntilContinued();
    StopJobWhenAsked(server);
  });
}

// The console's end on Windows (its window closed, the user logging off, the machine shutting
// down) comes as a call on a thread of the system's own, and the system ends the process as
// soon as that call returns (or after a few seconds at most). So that call posts the stop to
// the server's thread and waits, at most 3 s, until the neutral position went out: the one
// place a second thread meets the server, and the reason for the lock. `g_serving` is the
// server that runs, null before and after; the lock keeps it from going while a call holds it.
std::mutex g_servingMutex;
std::condition_variable g_stopped;
Server* g_serving = nullptr;
bool g_stopDone = false;

void ServingNow(Server* server) {
  const std::lock_guard lock(g_servingMutex);
  g_serving = server;
  g_stopDone = false;
}

void Stop(Server& server, beast::error_code error) {
  if (error == asio::error::operation_aborted || server.stopping) {
    return;
  }
  server.stopping = true;
  server.jobStops.cancel();
  for (auto& listener : server.listeners) {
    listener->Close();
  }
  for (int player = 1; player <= server.forwarder.Players(); ++player) {
    server.forwarder.Neutral(player);
  }
  server.state.events.Stopped();
  server.io.stop();
  const std::lock_guard lock(g_servingMutex);
  g_stopDone = true;
  g_stopped.notify_all();
}

void StopAtConsoleEnd() {
  std::unique_lock lock(g_servingMutex);
  if (g_serving == nullptr) {
    return;
  }
  Server& server = *g_serving;
  asio::post(server.io, [&server] { Stop(server, {}); });
  g_stopped.wait_for(lock, std::chrono::seconds(3), [] { return g_stopDone; });
}

}  // namespace

}  // namespace web

bool ServeController(const WebServerSettings& settings, Forwarder& forwarder, PhoneEvents& events,
                     char* error, std::size_t errorCapacity) {
  web::Server server(settings, forwarder, events);
  if (settings.tls != nullptr) {
    if (!server.tls.Prepare(settings, error, errorCapacity)) {
      return false;
    }
    server.state.tls = &server.tls;
  }
  if (!web::Listen(server, settings.port, web::Service::kController, error, errorCapacity) ||
      (settings.tls != nullptr &&
       !web::Listen(server, settings.trustPort, web::Service::kTrust, error, errorCapacity))) {
    return false;
  }
  for (const int signal : web::kStopSignals) {
    server.signals.add(signal);
  }
  server.signals.async_wait(
      [&server](web::beast::error_code error, int) { web::Stop(server, error); });
  for (int i = 0; i < kJobStopSignalCount; ++i) {
    server.jobStops.add(kJobStopSignals[i]);
  }
  web::StopJobWhenAsked(server);
  web::ServingNow(&server);
  OnConsoleEnd(web::StopAtConsoleEnd);
  events.Listening();
  web::Tick(server);
  server.io.run();
  web::ServingNow(nullptr);
  return true;
}

}  // namespace joywire
