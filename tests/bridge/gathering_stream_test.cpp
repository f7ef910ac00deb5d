// The layer that sends a WebSocket client's frames of a pass together, on a
// loopback connection whose reader holds back: nothing written while a send
// waits is lost or reordered, Flush waits for all of it, and a failed send
// ends every later write.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>

#include "bridge/gathering_stream.h"

namespace bridge {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

struct Connection {
  asio::io_context io;
  tcp::socket reader{io};
  std::optional<GatheringStream> writer;

  Connection() {
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    reader.open(tcp::v4());
    reader.set_option(asio::socket_base::receive_buffer_size(4096));
    reader.connect(acceptor.local_endpoint());
    tcp::socket accepted = acceptor.accept();
    accepted.set_option(asio::socket_base::send_buffer_size(4096));
    writer.emplace(boost::beast::tcp_stream(std::move(accepted)));
  }
};

// Distinct bytes, so that a lost or swapped piece shows.
std::string Piece(int number, std::size_t size) {
  std::string piece(size, '\0');
  for (std::size_t i = 0; i < size; ++i) piece[i] = static_cast<char>('a' + (number + i) % 26);
  return piece;
}

TEST(GatheringStream, WhatComesWhileASendWaitsFollowsItInOrder) {
  Connection connection;
  GatheringStream& stream = *connection.writer;
  std::string expected;
  error_code error;
  // 256 KiB, more than both socket buffers hold: the send waits for the reader.
  for (int i = 0; i < 64; ++i) {
    expected += Piece(i, 4096);
    stream.write_some(asio::buffer(Piece(i, 4096)), error);
  }
  bool flushed = false;
  stream.Flush([&](const error_code& failed) { flushed = !failed; });
  connection.io.poll();
  EXPECT_FALSE(flushed);

  expected += Piece(64, 1000);
  stream.write_some(asio::buffer(Piece(64, 1000)), error);
  const std::string framingOwn = Piece(99, 300);  // as a pong or a close frame is written
  expected += framingOwn;
  std::size_t asyncWritten = 0;
  stream.async_write_some(asio::buffer(framingOwn),
                          [&](const error_code&, std::size_t size) { asyncWritten = size; });

  std::string received(expected.size(), '\0');
  asio::async_read(connection.reader, asio::buffer(received), [](const error_code&, std::size_t) {});
  connection.io.run_for(std::chrono::seconds(30));
  EXPECT_TRUE(flushed);
  EXPECT_EQ(asyncWritten, framingOwn.size());
  EXPECT_TRUE(received == expected);
}

TEST(GatheringStream, AFailedSendEndsEveryLaterWrite) {
  Connection connection;
  GatheringStream& stream = *connection.writer;
  connection.reader.close();
  error_code failed;
  // The peer's reset may take a send or two to show.
  for (int attempt = 0; attempt < 50 && !failed; ++attempt) {
    stream.write_some(asio::buffer(Piece(attempt, 4096)), failed);
    stream.Flush([&](const error_code& error) { failed = error; });
    connection.io.restart();
    connection.io.run_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(failed);
  error_code later, flushedWith;
  EXPECT_EQ(stream.write_some(asio::buffer(Piece(0, 10)), later), 0u);
  stream.Flush([&](const error_code& error) { flushedWith = error; });
  connection.io.restart();
  connection.io.poll();
  EXPECT_EQ(later, failed);
  EXPECT_EQ(flushedWith, failed);
}

}  // namespace
}  // namespace bridge
