// Test helper: a temporary file for the simulator's --packet-log, read
// back as (packet type, payload bytes) in the order the client sent them.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace vkt::test {

class PacketLog {
 public:
  using Packet = std::pair<uint16_t, std::vector<uint8_t>>;

  PacketLog() {
    char pattern[] = "/tmp/vkt_packets_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path_ = pattern;
  }
  ~PacketLog() { std::remove(path_.c_str()); }
  PacketLog(const PacketLog&) = delete;
  PacketLog& operator=(const PacketLog&) = delete;

  // The simulator arguments that write this log.
  std::vector<std::string> Arguments() const { return {"--packet-log", path_}; }

  // Every complete line: "TYPE HEX".
  std::vector<Packet> Packets() const {
    std::vector<Packet> packets;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) {
      const size_t space = line.find(' ');
      if (space == std::string::npos) continue;
      Packet packet{static_cast<uint16_t>(std::stoul(line.substr(0, space))), {}};
      for (size_t at = space + 1; at + 1 < line.size(); at += 2)
        packet.second.push_back(static_cast<uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16)));
      packets.push_back(std::move(packet));
    }
    return packets;
  }
  // The packets of one type.
  std::vector<std::vector<uint8_t>> OfType(uint16_t type) const {
    std::vector<std::vector<uint8_t>> payloads;
    for (Packet& packet : Packets())
      if (packet.first == type) payloads.push_back(std::move(packet.second));
    return payloads;
  }

 private:
  std::string path_;
};

}  // namespace vkt::test
