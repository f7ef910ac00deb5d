// TVXBridge: the phones' reports from a running TVXHandvane, passed on as OSC
// and over a WebSocket, for the tools that installations and screen apps are
// built with; vibrations and commands for the phones come back the same ways.
//
//   TVXBridge [--folder DIR] [--osc HOST:PORT]... [--osc-scheme legacy]
//             [--osc-listen PORT] [--ws PORT] [--ws-host ADDR]
//
// One thread holds the kit's handle (sdk/c/tvxhdv.h), reads, and between
// reads does the sockets' work that is ready. No socket call waits, so a
// slow client never holds up the reading; and one thread wakes once a pass
// where two would each wake for it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/system/system_error.hpp>

#include "bridge/commands.h"
#include "bridge/options.h"
#include "bridge/osc_listener.h"
#include "bridge/osc_output.h"
#include "bridge/report_reader.h"
#include "bridge/websocket_server.h"

namespace {

namespace asio = boost::asio;

void Say(const std::string& line) {
  std::printf("TVXBridge: %s\n", line.c_str());
  std::fflush(stdout);
}

int Fail(const std::string& problem) {
  std::fprintf(stderr, "TVXBridge: %s\n", problem.c_str());
  return 1;
}

// Numeric addresses only for listening: a name could stand for many.
asio::ip::address ListenAddress(const std::string& host) {
  return asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host);
}

}  // namespace

int main(int argc, char** argv) {
  bridge::Options options;
  const bridge::Outcome parsed =
      bridge::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!parsed) {
    std::fprintf(stderr, "TVXBridge: %s\n%s", parsed.Error().c_str(), bridge::kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(bridge::kUsage, stdout);
    std::fputs(bridge::kHelp, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("TVXBridge %s\n", TVX_VERSION_TEXT);
    return 0;
  }

  asio::io_context io;
  bridge::CommandQueue commands;
  std::vector<bridge::Output*> outputs;
  std::unique_ptr<bridge::OscOutput> osc;
  std::unique_ptr<bridge::OscListener> oscListener;
  std::unique_ptr<bridge::WebSocketServer> ws;
  // Each failure names the option it comes from: the system's own text
  // ("Address already in use") says what, not where.
  std::string setting;
  try {
    if (!options.oscTargets.empty()) {
      setting = "--osc";
      osc = std::make_unique<bridge::OscOutput>(io, options.oscTargets, options.oscScheme);
      outputs.push_back(osc.get());
      for (const bridge::Endpoint& target : options.oscTargets) {
        Say("OSC to " + bridge::ShowEndpoint(target.host, target.port));
      }
    }
    if (options.oscListen.port != 0) {
      setting =
          "--osc-listen " + bridge::ShowEndpoint(options.oscListen.host, options.oscListen.port);
      const asio::ip::udp::endpoint where(ListenAddress(options.oscListen.host),
                                          options.oscListen.port);
      oscListener = std::make_unique<bridge::OscListener>(io, where, commands);
      Say("OSC commands taken on " +
          bridge::ShowEndpoint(where.address().to_string(), oscListener->Port()));
      if (!bridge::IsLoopback(options.oscListen.host)) {
        Say("warning: anyone who can reach " + options.oscListen.host +
            " can vibrate the phones and send them commands.");
      }
    }
    if (options.wsPort != 0) {
      setting = "--ws " + std::to_string(options.wsPort) + " --ws-host " + options.wsHost;
      const asio::ip::tcp::endpoint where(ListenAddress(options.wsHost), options.wsPort);
      ws = std::make_unique<bridge::WebSocketServer>(io, where, commands, Say,
                                                   options.allowOrigins);
      outputs.push_back(ws.get());
      Say("WebSocket and the screen page on http://" +
          bridge::ShowEndpoint(where.address().to_string(), ws->Port()) + "/");
      if (!bridge::IsLoopback(options.wsHost)) {
        Say("warning: anyone who can reach " + options.wsHost +
            " can vibrate the phones and send them commands.");
      }
    }
  } catch (const std::exception& error) {
    return Fail(setting + ": " + error.what());
  }

  auto work = asio::make_work_guard(io);  // poll() never finds the context out of work
  std::atomic<bool> stop{false};          // it runs until it is ended
  bridge::ReaderTiming timing;
  timing.passInterval = std::chrono::microseconds(TVX_BRIDGE_PASS_INTERVAL_US);
  bridge::ReportReader reader(options.folder, outputs, commands, Say, timing,
                              [&io] { io.poll(); });
  reader.Run(stop);
  return 0;
}
