// Two game processes play over the loopback address, directly and through a relay that delays,
// drops and reorders: both end with the same state, and each side's recording replays to it.
#include "net/play.h"

#include <arpa/inet.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "net/relay.h"

namespace {

using nettest::Field;
using nettest::Spawn;
using nettest::Text;
using nettest::Wait;

const std::string Game = "./gronka";

struct Pair {
  int hostCode, joinCode;
  std::string hostOut, joinOut, hostErr, joinErr;
};

// Host (computer 1) and joiner (computer 2) play `frames` frames; `relay` between them if given.
// The joiner joins `joinHost`:PORT.
Pair Play(int frames, const net::RelayFaults* faults, const std::string& record,
          const char* joinVersion = nullptr, std::vector<std::string> hostOptions = {},
          std::vector<std::string> joinOptions = {}, const std::string& joinHost = "127.0.0.1") {
  const std::string n = std::to_string(frames);
  std::vector<std::string> hostArgs = {
      Game,   "--host",       "0", "--no-upnp", "--headless",         "--computer", "1", "--level",
      "hard", "--net-frames", n,   "--record",  record + "-host.grec"};
  hostArgs.insert(hostArgs.end(), hostOptions.begin(), hostOptions.end());
  auto host = Spawn(hostArgs, "host");
  const int port = nettest::HostPort(host);
  std::unique_ptr<net::Relay> relay;
  if (faults != nullptr) relay = std::make_unique<net::Relay>(port, *faults);
  const int target = relay ? relay->Port() : port;
  const std::string address = joinHost + ":" + std::to_string(target);
  std::vector<std::string> joinArgs = {
      Game, "--join",       address, "--headless", "--computer",
      "2",  "--net-frames", n,       "--record",   record + "-join.grec"};
  joinArgs.insert(joinArgs.end(), joinOptions.begin(), joinOptions.end());
  auto join = Spawn(joinArgs, "join", joinVersion);
  Pair p;
  p.joinCode = Wait(join, 240);
  p.hostCode = Wait(host, 10);
  p.hostOut = Text(host.out), p.joinOut = Text(join.out);
  p.hostErr = Text(host.err), p.joinErr = Text(join.err);
  return p;
}

// The replay's line for a recording, and its exit code.
std::string Replay(const std::string& file, int* code) {
  auto p = Spawn({Game, "--replay", file, "--headless"}, "replay");
  *code = Wait(p, 60);
  return Text(p.out);
}

void ExpectSameEverywhere(const Pair& p, int frames, const std::string& record) {
  ASSERT_EQ(p.hostCode, 0) << p.hostOut << p.hostErr;
  ASSERT_EQ(p.joinCode, 0) << p.joinOut << p.joinErr;
  EXPECT_GE(std::stoi(Field(p.hostOut, "ended: ")), frames);
  EXPECT_EQ(Field(p.hostOut, "ended: "), Field(p.joinOut, "ended: "));
  const std::string hash = Field(p.hostOut, "hash ");
  EXPECT_EQ(hash.size(), 16u);
  EXPECT_EQ(hash, Field(p.joinOut, "hash "));
  // ENet's memory during the match comes from the fixed store.
  EXPECT_EQ(Field(p.hostOut, "allocated "), "0");
  EXPECT_EQ(Field(p.joinOut, "allocated "), "0");
  int hostCode = -1, joinCode = -1;
  const std::string hostReplay = Replay(record + "-host.grec", &hostCode);
  const std::string joinReplay = Replay(record + "-join.grec", &joinCode);
  EXPECT_EQ(hostCode, 0) << hostReplay;
  EXPECT_EQ(joinCode, 0) << joinReplay;
  EXPECT_NE(hostReplay.find(": ok"), std::string::npos);
  EXPECT_EQ(hostReplay, joinReplay);
}

TEST(NetPlay, TwoThousandFramesOnLoopbackEndEqualAndReplay) {
  const std::string record = nettest::TempPath("gronka-net-direct");
  const Pair p = Play(2000, nullptr, record);
  ExpectSameEverywhere(p, 2000, record);
  // Each side's own keys act at once.
  EXPECT_EQ(Field(p.hostOut, "delay "), "0");
  EXPECT_EQ(Field(p.joinOut, "delay "), "0");
}

// ENet has IPv4 alone: the joiner's datagrams go to the host's IPv6 address through a bridge on
// each side.
TEST(NetPlay, AJoinerOfTheHostsIpv6AddressPlaysToTheSameEnd) {
  const std::string record = nettest::TempPath("gronka-net-ipv6");
  const Pair p = Play(300, nullptr, record, nullptr, {}, {}, "[::1]");
  ExpectSameEverywhere(p, 300, record);
}

TEST(NetPlay, ThroughDelayDropAndReorderTheStateStaysEqual) {
  // The joiner guesses the host's keys wrong on purpose at every frame.
  const std::string record = nettest::TempPath("gronka-net-relay");
  const net::RelayFaults faults{100, 10, 10};
  const Pair p = Play(2000, &faults, record, nullptr, {}, {"--net-mispredict"});
  ExpectSameEverywhere(p, 2000, record);
  // 100 ms each way: still no delay; the guesses of the other player's keys were put right.
  for (const std::string* out : {&p.hostOut, &p.joinOut}) {
    EXPECT_EQ(Field(*out, "delay "), "0");
    EXPECT_GT(std::stoi(Field(*out, "rollbacks ")), 0) << *out;
  }
  EXPECT_GT(std::stoi(Field(p.joinOut, "frames run again ")), 1000) << p.joinOut;
}

// A fifth of the datagrams lost each way, at 50, 150 and 300 ms round trip (the parameter is the
// delay each way): lost messages are sent again while the other side is heard, and nothing ends.
class NetPlayLossy : public testing::TestWithParam<uint32_t> {};

TEST_P(NetPlayLossy, AFifthOfTheDatagramsLostEndsEqual) {
  const std::string record = nettest::TempPath("gronka-net-lossy");
  const net::RelayFaults faults{GetParam(), 20, 0};
  const Pair p = Play(2000, &faults, record);
  ExpectSameEverywhere(p, 2000, record);
}

INSTANTIATE_TEST_SUITE_P(RoundTrips, NetPlayLossy, testing::Values(25u, 75u, 150u));

TEST(NetPlay, AnotherVersionIsRefusedOnBothSides) {
  const Pair p = Play(100, nullptr, nettest::TempPath("gronka-net-refused"), "0.0-other");
  EXPECT_EQ(p.hostCode, 4);
  EXPECT_EQ(p.joinCode, 4);
  for (const std::string* err : {&p.hostErr, &p.joinErr}) {
    EXPECT_NE(err->find("0.0-other"), std::string::npos) << *err;
    EXPECT_NE(err->find("refused"), std::string::npos) << *err;
    EXPECT_EQ(std::count(err->begin(), err->end(), '\n'), 1) << *err;
  }
}

TEST(NetPlay, ADesyncStopsBothSidesAndEachWritesItsRecording) {
  // The host's state goes wrong at frame 50: the hashes of frame 60 differ.
  const std::string dir = nettest::TempPath("gronka-net-desync");
  const Pair p = Play(2000, nullptr, dir, nullptr, {"--net-desync-at", "50"});
  EXPECT_EQ(p.hostCode, 1) << p.hostOut << p.hostErr;
  EXPECT_EQ(p.joinCode, 1) << p.joinOut << p.joinErr;
  for (const std::string* err : {&p.hostErr, &p.joinErr}) {
    const std::string lead = "gronka: desync at frame 60: this side's recording is ";
    const size_t at = err->find(lead);
    ASSERT_NE(at, std::string::npos) << *err;
    const std::string path = err->substr(at + lead.size(), err->find('\n', at) - at - lead.size());
    int code = -1;
    EXPECT_NE(Replay(path, &code).find(": ok"), std::string::npos) << path;
    std::remove(path.c_str());
  }
}

TEST(NetPlay, ALostJoinerEndsTheHostsMatchWithinSeconds) {
  auto host =
      Spawn({Game, "--host", "0", "--no-upnp", "--headless", "--net-realtime"}, "lost-host");
  const int port = nettest::HostPort(host);
  auto join =
      Spawn({Game, "--join", "127.0.0.1:" + std::to_string(port), "--headless", "--net-realtime"},
            "lost-join");
  // Once the match has begun on the host (models and the opening scene take their time).
  for (int i = 0; i < 3000 && Text(host.out).find("net: the match begins") == std::string::npos;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(join.pid, SIGKILL);
  Wait(join, 5);
  const auto from = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(host, 10), 3);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  EXPECT_GT(seconds, 2.5);  // three seconds without a packet; the upper bound is Wait's
  EXPECT_NE(Text(host.out).find("net: CONNECTION LOST"), std::string::npos) << Text(host.out);
}

// An ENet client of the test's own, connected to the host on `port` of the loopback address.
ENetHost* ClientOf(int port, ENetPeer** peer) {
  EXPECT_EQ(enet_initialize(), 0);
  ENetHost* client = enet_host_create(nullptr, 1, 2, 0, 0);
  ENetAddress address{};
  enet_address_set_host(&address, "127.0.0.1");
  address.port = static_cast<uint16_t>(port);
  *peer = enet_host_connect(client, &address, 2, 0);
  ENetEvent event;
  bool connected = false;
  for (int i = 0; i < 2000 && !connected; ++i)
    connected = enet_host_service(client, &event, 5) > 0 && event.type == ENET_EVENT_TYPE_CONNECT;
  EXPECT_TRUE(connected);
  return client;
}

// Services `client` for up to `ms`; true once the other side has dropped it.
bool DroppedWithin(ENetHost* client, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  ENetEvent event;
  while (std::chrono::steady_clock::now() < end) {
    while (enet_host_service(client, &event, 5) > 0) {
      if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
      if (event.type == ENET_EVENT_TYPE_DISCONNECT) return true;
    }
  }
  return false;
}

TEST(NetPlay, AMalformedPacketDisconnectsItsSenderAndTheHostGoesOn) {
  auto host = Spawn({Game, "--host", "0", "--no-upnp", "--headless"}, "hostile-host");
  const int port = nettest::HostPort(host);
  ENetPeer* peer = nullptr;
  ENetHost* client = ClientOf(port, &peer);
  const uint8_t hello[] = {1, 'G', 'R', 'N', 'K', 1, 0, 40};  // a version longer than it says
  enet_peer_send(peer, 0, enet_packet_create(hello, sizeof hello, ENET_PACKET_FLAG_RELIABLE));
  EXPECT_TRUE(DroppedWithin(client, 5000));
  enet_host_destroy(client);
  // Still waiting for a player, not crashed.
  EXPECT_EQ(waitpid(host.pid, nullptr, WNOHANG), 0);
  kill(host.pid, SIGKILL);
  Wait(host, 5);
  EXPECT_NE(Text(host.err).find("malformed"), std::string::npos);
}

TEST(NetPlay, APeerThatSendsOnlyOversizedPacketsIsDroppedAndARealJoinerGetsIn) {
  auto host =
      Spawn({Game, "--host", "0", "--no-upnp", "--headless", "--net-frames", "60"}, "silent-host");
  const int port = nettest::HostPort(host);
  ENetPeer* peer = nullptr;
  ENetHost* client = ClientOf(port, &peer);
  const auto from = std::chrono::steady_clock::now();
  // All it sends is larger than any message of ours, in one datagram and in fragments: ENet
  // refuses both before the game sees them (which would call them malformed and drop it at once).
  const std::vector<uint8_t> junk(40000, 0xFF);
  for (size_t size : {600, 40000})
    enet_peer_send(peer, 0, enet_packet_create(junk.data(), size, ENET_PACKET_FLAG_RELIABLE));
  EXPECT_TRUE(DroppedWithin(client, 9000));  // ENet's pings alone do not keep its place
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  EXPECT_GT(seconds, 4.0);
  enet_host_destroy(client);
  auto join = Spawn(
      {Game, "--join", "127.0.0.1:" + std::to_string(port), "--headless", "--net-frames", "60"},
      "silent-join");
  EXPECT_EQ(Wait(join, 60), 0) << Text(join.err);
  EXPECT_EQ(Wait(host, 30), 0) << Text(host.err);
  EXPECT_NE(Text(host.err).find("never said hello"), std::string::npos) << Text(host.err);
  EXPECT_EQ(Text(host.err).find("malformed"), std::string::npos) << Text(host.err);
}

// A joiner is told within seconds that nobody listens, or that a host accepted and never
// answered, and leaves with exit code 3.
TEST(NetPlay, AJoinerGivesUpWithinSecondsOnAHostThatDoesNotAnswer) {
  ASSERT_EQ(enet_initialize(), 0);
  ENetAddress address{};
  enet_address_set_host(&address, "127.0.0.1");
  ENetHost* mute = enet_host_create(&address, 1, 2, 0, 0);  // accepts, says nothing
  ENetAddress bound{};
  ASSERT_EQ(enet_socket_get_address(mute->socket, &bound), 0);
  const int silent = socket(AF_INET, SOCK_DGRAM, 0);  // listens to nothing at all
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof any;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  getsockname(silent, reinterpret_cast<sockaddr*>(&any), &size);
  const std::pair<int, const char*> cases[] = {{ntohs(any.sin_port), "no answer"},
                                               {bound.port, "accepted and never answered"}};
  for (const auto& [port, said] : cases) {
    SCOPED_TRACE(said);
    const auto from = std::chrono::steady_clock::now();
    auto join = Spawn({Game, "--join", "127.0.0.1:" + std::to_string(port), "--headless"},
                      "unanswered-join");
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(join.pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - from < std::chrono::seconds(20))
      DroppedWithin(mute, 20);  // the mute host accepts, and answers nothing
    if (done == 0) kill(join.pid, SIGKILL), waitpid(join.pid, &status, 0);
    const int code = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    EXPECT_EQ(code, 3);
    EXPECT_LT(seconds, 9.0);
    EXPECT_NE(Text(join.err).find(said), std::string::npos) << Text(join.err);
  }
  close(silent);
  enet_host_destroy(mute);
}

}  // namespace
