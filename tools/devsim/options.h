// Command line of vkt-devsim: the device kind, where to listen, the
// credentials it accepts, and the fault and test behaviours.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device_content.h"

namespace vkt::devsim {

struct SimulatorOptions {
  int kind = 0;  // 5200 or 7100
  std::string host = "127.0.0.1";
  uint16_t port = 0;  // 0: any free port
  std::string user = "admin";
  std::string password = "admin";
  int channels = 0;  // channel count in the login answer; 0 = the kind's default

  // Faults.
  std::optional<int32_t> refuseLoginCode;  // answer code sent instead of 1
  bool noReady = false;                     // 5200: never send the ready packet; 7100: never answer the login
  std::optional<uint64_t> dropAfter;        // close after this many frames sent
  bool stall = false;                       // accept, read, never answer
  bool oversize = false;                    // send a header announcing more than the limit
  bool badMagic = false;                    // send a header with a wrong magic
  bool corruptBoxes = false;                // 5200: spoil a box in every fourth stream block
  bool badBoxAfterPictures = false;         // 5200: a malformed box after the picture of every block without a header
  int keyInterval = 25;                     // 5200: frames from one key frame to the next
  bool readyTwice = false;                  // 5200: answer the init packet with two ready packets
  bool unrequested = false;                 // 7100: after the login, push pictures of every channel unasked
  std::optional<int32_t> extraAnswer;       // a second login answer with this code right after the first
  uint32_t firstAnswerDelayMs = 0;          // the process's first login answer comes this late
  // Test services.
  uint32_t floodBytes = 0;  // send test data frames of this size back to back
  bool echoData = false;    // answer the echo packets with data frames
  std::string requestLog;   // 7100: append each picture request's mask to this file
  std::string pictureLog;   // append "<ms> <channel>" for each picture or stream block sent
  std::string packetLog;    // append every packet a client sends: "TYPE HEX-PAYLOAD"
  // Real content.
  bool cameraScene = false;  // 7100: camera-like pictures instead of the test cards
  std::string picturesDir;  // 7100: serve the .jpg files of this directory
  std::string h264File;     // 5200: serve this Annex-B H.264 file
  int fps = 25;             // 5200: stream blocks per second
  std::shared_ptr<const DeviceContent> content;  // loaded by loadContent
};

// Parses argv; on failure returns false with a message in `error`.
bool parseOptions(int argc, char** argv, SimulatorOptions& options, std::string& error);
const char* usageText();
// Reads the files of --pictures or --h264 into options.content; false with
// a message when a source is missing, unreadable or unusable. Picture files
// that cannot be served are skipped with a warning on stderr.
bool loadContent(SimulatorOptions& options, std::string& error);

}  // namespace vkt::devsim
