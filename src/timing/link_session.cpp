// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/link_session.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ableton/Link.hpp>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

namespace sonavela::timing {

namespace {

using std::chrono::microseconds;

// Link's discovery group and port (ableton/discovery/IpV4Interface.hpp).
constexpr const char* kDiscoveryGroup = "224.76.78.75";
constexpr std::uint16_t kDiscoveryPort = 20808;
// Link sends a change of state at most every 50 ms, and leaving the session
// drops what it has not sent yet: a stop must have gone out first.
constexpr std::chrono::milliseconds kBroadcast{100};
// Three clock readings take well under a microsecond when nothing comes
// between them.
constexpr std::chrono::nanoseconds kTightReading{10'000};

std::string Reason(int error) {
  return std::system_category().message(error);
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  [[nodiscard]] int Fd() const { return fd_; }

 private:
  int fd_;
};

template <typename Option>
[[nodiscard]] bool Set(const Socket& socket, int level, int name, const Option& value) {
  return ::setsockopt(socket.Fd(), level, name, &value, sizeof value) == 0;
}

[[nodiscard]] bool Bind(const Socket& socket, in_addr address, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(port);
  return ::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

std::optional<std::string> TryInterface(in_addr address) {
  char name[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, name, sizeof name);
  const Socket sender;
  if (sender.Fd() < 0 || !Set(sender, IPPROTO_IP, IP_MULTICAST_IF, address) ||
      !Bind(sender, address, 0)) {
    return std::string("cannot open a UDP socket on ") + name + ": " + Reason(errno);
  }
  const Socket group;
  const int yes = 1;
  in_addr any{};
  any.s_addr = htonl(INADDR_ANY);
  if (group.Fd() < 0 || !Set(group, SOL_SOCKET, SO_REUSEADDR, yes) ||
      !Bind(group, any, kDiscoveryPort)) {
    return "cannot open UDP port " + std::to_string(kDiscoveryPort) +
           ", where Link peers find each other: " + Reason(errno);
  }
  ip_mreq membership{};
  ::inet_pton(AF_INET, kDiscoveryGroup, &membership.imr_multiaddr);
  membership.imr_interface = address;
  if (!Set(group, IPPROTO_IP, IP_ADD_MEMBERSHIP, membership)) {
    return std::string("cannot join the multicast group ") + kDiscoveryGroup + " on " + name +
           ": " + Reason(errno);
  }
  return std::nullopt;
}

class AbletonLinkSession final : public LinkSession {
 public:
  explicit AbletonLinkSession(double tempo) : link_(tempo) {
    link_.enableStartStopSync(true);
    Capture();
  }
  ~AbletonLinkSession() override { Leave(); }
  AbletonLinkSession(const AbletonLinkSession&) = delete;
  AbletonLinkSession& operator=(const AbletonLinkSession&) = delete;

  [[nodiscard]] Timestamp Now() const override { return midi::MidiClock::now(); }

  void Join() override { link_.enable(true); }

  void Leave() override {
    if (!link_.isEnabled()) {
      return;
    }
    std::this_thread::sleep_until(committedAt_ + kBroadcast);
    link_.enable(false);
  }

  void Capture() override {
    ReadOffset();
    state_.emplace(link_.captureAppSessionState());
    peers_ = link_.numPeers();
  }

  [[nodiscard]] std::size_t Peers() const override { return peers_; }
  [[nodiscard]] double Tempo() const override { return state_->tempo(); }
  [[nodiscard]] double BeatAt(Timestamp at, double quantum) const override {
    return state_->beatAtTime(OnLink(at), quantum);
  }
  [[nodiscard]] Timestamp TimeAt(double beat, double quantum) const override {
    return OnSteady(state_->timeAtBeat(beat, quantum));
  }
  [[nodiscard]] bool Playing() const override { return state_->isPlaying(); }
  [[nodiscard]] Timestamp PlayingChangedAt() const override {
    return OnSteady(state_->timeForIsPlaying());
  }

  void StartPlaying(Timestamp at, double quantum) override {
    Capture();
    state_->setIsPlayingAndRequestBeatAtTime(true, OnLink(at), 0.0, quantum);
    Commit();
  }

  void StopPlaying(Timestamp at) override {
    Capture();
    state_->setIsPlaying(false, OnLink(at));
    Commit();
  }

 private:
  // Link's clock on Linux is CLOCK_MONOTONIC_RAW, the steady clock
  // CLOCK_MONOTONIC, and the system's frequency correction moves them apart;
  // so their offset is read again at every capture, between two steady
  // readings. A reading the scheduler interrupted would be off by as long
  // as the interruption: the tightest of a few counts, and none that is not
  // tight.
  void ReadOffset() {
    std::chrono::nanoseconds tightest = kTightReading;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const Timestamp before = Now();
      const microseconds link = link_.clock().micros();
      const Timestamp after = Now();
      if (after - before < tightest || !offsetKnown_) {
        tightest = after - before;
        // micros() truncates: its microsecond began up to one earlier.
        offset_ = (before + (after - before) / 2).time_since_epoch() - link -
                  std::chrono::nanoseconds(500);
        offsetKnown_ = true;
      }
    }
  }
  [[nodiscard]] microseconds OnLink(Timestamp at) const {
    return std::chrono::round<microseconds>(at.time_since_epoch() - offset_);
  }
  [[nodiscard]] Timestamp OnSteady(microseconds at) const {
    return Timestamp(std::chrono::duration_cast<Timestamp::duration>(at + offset_));
  }
  void Commit() {
    // The snapshot keeps the change, so that this poll reads it back.
    link_.commitAppSessionState(*state_);
    committedAt_ = Now();
  }

  ableton::Link link_;
  std::optional<ableton::Link::SessionState> state_;
  std::size_t peers_ = 0;
  // Steady time minus Link's time.
  std::chrono::nanoseconds offset_{};
  bool offsetKnown_ = false;
  Timestamp committedAt_{};
};

}  // namespace

Status CheckLinkNetwork() {
  const auto refused = [](std::string why) {
    return Error::Of(ErrorKind::kLinkNotJoined, {}, std::move(why));
  };
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return refused("cannot list the network interfaces: " + Reason(errno));
  }
  const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owned(list, &::freeifaddrs);
  std::optional<std::string> failure;
  bool up = false;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
        entry->ifa_addr->sa_family != AF_INET) {
      continue;
    }
    up = true;
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    std::optional<std::string> why = TryInterface(address.sin_addr);
    if (!why) {
      return {};
    }
    if (!failure) {
      failure = std::move(why);
    }
  }
  return refused(up ? *failure : "no network interface with an IPv4 address is up");
}

Result<std::unique_ptr<LinkSession>> OpenLinkSession(double tempo) {
  if (Status network = CheckLinkNetwork(); !network) {
    return network.error();
  }
  return std::unique_ptr<LinkSession>(std::make_unique<AbletonLinkSession>(tempo));
}

}  // namespace sonavela::timing
