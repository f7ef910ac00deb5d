// The layer under a client's WebSocket framing that lets the frames of a
// pass leave as one send. The client frames its messages here with the
// framing's synchronous writes, which are only kept and never wait; Flush
// then sends what was kept with one call to the system: one segment and
// one wake-up of the client for the pass instead of one per frame, and no
// asynchronous operation per frame on the bridge's side.
//
// The framing's own asynchronous writes (the handshake's answer, pongs, the
// close frame) are kept and sent the same way, in the order they came.
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
#include <boost/system/system_error.hpp>

namespace bridge {

class GatheringStream {
 public:
  using next_layer_type = boost::beast::tcp_stream;
  using executor_type = next_layer_type::executor_type;
  using error_code = boost::system::error_code;

  explicit GatheringStream(next_layer_type&& next)
      : state_(std::make_shared<State>(std::move(next))) {}
  // A send under way ends with the socket; its handler holds what it uses.
  ~GatheringStream() { state_->next.close(); }
  GatheringStream(const GatheringStream&) = delete;
  GatheringStream& operator=(const GatheringStream&) = delete;

  executor_type get_executor() noexcept { return state_->next.get_executor(); }
  next_layer_type& next_layer() noexcept { return state_->next; }

  // Sends what was kept; done(error) runs once all of it is sent or a send
  // failed. A client that reads slower than it is written to leaves a send
  // under way, and done waits for it.
  template <class Done>
  void Flush(Done done) {
    State& state = *state_;
    if (state.failed || (!state.sendUnderWay && state.kept.empty())) {
      boost::asio::post(get_executor(), [done = std::move(done), error = state.failed]() mutable {
        std::move(done)(error);
      });
      return;
    }
    Send(state_);
    state.allSent.async_wait([done = std::move(done), shared = state_](const error_code&) mutable {
      std::move(done)(shared->failed);
    });
  }

  // Synchronous writes only keep the bytes: they never wait.
  template <class ConstBuffers>
  std::size_t write_some(const ConstBuffers& buffers, error_code& error) {
    error = state_->failed;
    return error ? 0 : Keep(buffers);
  }
  template <class ConstBuffers>
  std::size_t write_some(const ConstBuffers& buffers) {
    error_code error;
    const std::size_t size = write_some(buffers, error);
    if (error) throw boost::system::system_error(error);
    return size;
  }

  template <class MutableBuffers>
  std::size_t read_some(const MutableBuffers& buffers, error_code& error) {
    return state_->next.socket().read_some(buffers, error);
  }
  template <class MutableBuffers>
  std::size_t read_some(const MutableBuffers& buffers) {
    return state_->next.socket().read_some(buffers);
  }

  template <class MutableBuffers, class Handler>
  auto async_read_some(const MutableBuffers& buffers, Handler&& handler) {
    return state_->next.async_read_some(buffers, std::forward<Handler>(handler));
  }

  template <class ConstBuffers, class Handler>
  auto async_write_some(const ConstBuffers& buffers, Handler&& handler) {
    return boost::asio::async_initiate<Handler, void(error_code, std::size_t)>(
        [this](auto done, const ConstBuffers& bytes) {
          const std::size_t size = state_->failed ? 0 : Keep(bytes);
          Flush([done = std::move(done), size](const error_code& error) mutable {
            std::move(done)(error, error ? 0 : size);
          });
        },
        handler, buffers);
  }

 private:
  struct State {
    explicit State(next_layer_type&& stream)
        : next(std::move(stream)), allSent(next.get_executor()) {
      allSent.expires_at(boost::asio::steady_timer::time_point::max());
    }
    next_layer_type next;
    std::string kept;     // written, not yet sent
    std::string sending;  // the send under way; apart, as kept grows meanwhile
    bool sendUnderWay = false;
    error_code failed;  // the first failed send; every later write ends with it
    // Never expires: what waits for all to be sent waits on it, and is
    // woken by cancelling it.
    boost::asio::steady_timer allSent;
  };

  template <class ConstBuffers>
  std::size_t Keep(const ConstBuffers& buffers) {
    std::string& kept = state_->kept;
    const std::size_t size = boost::asio::buffer_size(buffers);
    const std::size_t before = kept.size();
    kept.resize(before + size);
    boost::asio::buffer_copy(boost::asio::buffer(kept.data() + before, size), buffers);
    return size;
  }

  // Starts a send of what was kept, unless one is under way or nothing is.
  static void Send(const std::shared_ptr<State>& shared) {
    State& state = *shared;
    if (state.sendUnderWay || state.kept.empty() || state.failed) return;
    state.sending.swap(state.kept);
    state.kept.clear();
    state.sendUnderWay = true;
    boost::asio::async_write(
        state.next, boost::asio::buffer(state.sending),
        [shared](const error_code& error, std::size_t) { Sent(shared, error); });
  }

  // What was kept meanwhile goes next; once nothing is left, or a send
  // failed, whatever waits is woken.
  static void Sent(const std::shared_ptr<State>& shared, const error_code& error) {
    State& state = *shared;
    state.sendUnderWay = false;
    state.sending.clear();
    if (error && !state.failed) state.failed = error;
    Send(shared);
    if (!state.sendUnderWay) state.allSent.cancel();
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
