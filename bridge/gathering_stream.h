// The layer under a client's WebSocket framing that lets a run of frames
// leave as one send. The framing still writes frame by frame; while the
// client gathers, each write is kept and done at once, and when the run
// ends what was kept goes out together: one system call, one segment and
// one wake-up of the client for the run instead of one per frame.
//
// A write that comes while a send is still under way (the client reads
// slower than it is written to) waits for that send, so what is kept stays
// bounded and a client that falls behind still shows in its own queue.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/teardown.hpp>

namespace bridge {

class GatheringStream {
 public:
  using next_layer_type = boost::beast::tcp_stream;
  using executor_type = next_layer_type::executor_type;
  using error_code = boost::system::error_code;

  explicit GatheringStream(next_layer_type&& next)
      : state_(std::make_shared<State>(std::move(next))) {}
  // What is under way ends with the socket; its handlers hold what they use.
  ~GatheringStream() { state_->next.close(); }
  GatheringStream(const GatheringStream&) = delete;
  GatheringStream& operator=(const GatheringStream&) = delete;

  executor_type get_executor() noexcept { return state_->next.get_executor(); }
  next_layer_type& next_layer() noexcept { return state_->next; }

  // While on, writes are kept; turning it off sends what was kept.
  void Gather(bool on) {
    state_->gathering = on;
    if (!on) SendKept(state_);
  }

  template <class MutableBuffers, class Handler>
  auto async_read_some(const MutableBuffers& buffers, Handler&& handler) {
    return state_->next.async_read_some(buffers, std::forward<Handler>(handler));
  }

  template <class ConstBuffers, class Handler>
  auto async_write_some(const ConstBuffers& buffers, Handler&& handler) {
    return boost::asio::async_initiate<Handler, void(error_code, std::size_t)>(
        [this](auto done, const ConstBuffers& bytes) { Write(bytes, std::move(done)); },
        handler, buffers);
  }

 private:
  struct State {
    explicit State(next_layer_type&& stream)
        : next(std::move(stream)), parked(next.get_executor()) {}
    next_layer_type next;
    std::string kept;     // written, not yet sent
    std::string sending;  // the send under way; kept apart, as kept grows meanwhile
    bool gathering = false;
    bool sendUnderWay = false;
    error_code failed;  // the first failed send; every later write ends with it
    // A write waiting for the send under way; it has at most one, as the
    // framing writes one thing at a time.
    boost::asio::steady_timer parked;
    bool parkedWrite = false;
    bool parkedBytesSent = false;  // its bytes are in the send under way
  };

  template <class ConstBuffers, class Done>
  void Write(const ConstBuffers& buffers, Done done) {
    State& state = *state_;
    const std::size_t size = boost::asio::buffer_size(buffers);
    if (state.failed) {
      Finish(std::move(done), state.failed, 0);
      return;
    }
    const std::size_t before = state.kept.size();
    state.kept.resize(before + size);
    boost::asio::buffer_copy(boost::asio::buffer(state.kept.data() + before, size), buffers);
    if (size == 0 || (state.gathering && !state.sendUnderWay)) {
      Finish(std::move(done), error_code{}, size);
    } else if (!state.sendUnderWay) {
      SendKept(state_);
      Park(std::move(done), size, /*bytesSent=*/true);
    } else {
      Park(std::move(done), size, /*bytesSent=*/false);
    }
  }

  template <class Done>
  void Finish(Done done, error_code error, std::size_t size) {
    boost::asio::post(get_executor(), [done = std::move(done), error, size]() mutable {
      std::move(done)(error, size);
    });
  }

  template <class Done>
  void Park(Done done, std::size_t size, bool bytesSent) {
    State& state = *state_;
    state.parkedWrite = true;
    state.parkedBytesSent = bytesSent;
    state.parked.expires_at(boost::asio::steady_timer::time_point::max());
    state.parked.async_wait(
        [done = std::move(done), size, state = state_](const error_code&) mutable {
          std::move(done)(state->failed, state->failed ? 0 : size);
        });
  }

  // Starts a send of what was kept, unless one is under way or nothing is.
  static void SendKept(const std::shared_ptr<State>& shared) {
    State& state = *shared;
    if (state.sendUnderWay || state.kept.empty() || state.failed) return;
    state.sending.swap(state.kept);
    state.kept.clear();
    state.sendUnderWay = true;
    boost::asio::async_write(
        state.next, boost::asio::buffer(state.sending),
        [shared](const error_code& error, std::size_t) { Sent(shared, error); });
  }

  static void Sent(const std::shared_ptr<State>& shared, const error_code& error) {
    State& state = *shared;
    state.sendUnderWay = false;
    state.sending.clear();
    if (error && !state.failed) state.failed = error;
    // A parked write whose bytes are still kept goes with the next send,
    // unless the client gathers: then it ends now and its bytes wait for
    // the run's end, like every write of the run.
    const bool release =
        state.parkedWrite && (state.parkedBytesSent || state.gathering || state.failed);
    if (!state.gathering) {
      SendKept(shared);
      if (state.parkedWrite && !state.parkedBytesSent) state.parkedBytesSent = state.sendUnderWay;
    }
    if (release) {
      state.parkedWrite = false;
      state.parked.cancel();
    }
  }

  std::shared_ptr<State> state_;
};

// The close handshake ends on the TCP socket underneath.
inline void teardown(boost::beast::role_type role, GatheringStream& stream,
                     boost::system::error_code& error) {
  using boost::beast::websocket::teardown;
  teardown(role, stream.next_layer(), error);
}

template <class Handler>
void async_teardown(boost::beast::role_type role, GatheringStream& stream, Handler&& handler) {
  using boost::beast::websocket::async_teardown;
  async_teardown(role, stream.next_layer(), std::forward<Handler>(handler));
}

}  // namespace bridge
