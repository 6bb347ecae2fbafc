// Fuzz target of the kind-5200 stream reader with the recording writer
// behind it: the input is cut into data blocks (block_stream.h) and fed to
// a session's OnData with a channel open and a recording running, as the
// window procedure would. After the last block the recording must be
// exactly the blocks the reader kept, from the first kept header on, with
// each header's segment length filled in but the last; anything else is a
// finding (abort), as is any bad read the sanitizers see on the way.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "block_stream.h"
#include "h264_device_session.h"
#include "stream_parser.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string& recording_file() {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/vkt_stream_fuzz_" + std::to_string(getpid()) + ".rec";
  return path;
}

// What the file must hold: kept blocks from the first header on; a header
// fills in the length of the segment before it.
class ExpectedRecording {
 public:
  void Keep(const uint8_t* block, uint32_t length, bool header) {
    if (header) {
      if (started_) {
        const uint32_t segment = static_cast<uint32_t>(bytes_.size() - lastHeader_);
        for (int i = 0; i < 4; ++i)
          bytes_[lastHeader_ + kRvdxSegmentLengthOffset + i] = static_cast<uint8_t>(segment >> (8 * i));
      }
      started_ = true;
      lastHeader_ = bytes_.size();
    }
    if (started_) bytes_.insert(bytes_.end(), block, block + length);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  bool started_ = false;
  size_t lastHeader_ = 0;
};

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto session = std::make_unique<H264DeviceSession>();
  session->serverInfo.channelCount = 1;
  // No transport: the start packet cannot go, but the stream buffers are
  // set up and the boxes reach the Annex-B rewrite.
  session->OpenChannel(0, nullptr);
  if (session->StartRecord(0, recording_file().c_str()) != VKT_OK) return 0;

  ExpectedRecording expected;
  for (const fuzz_input::Piece& block : fuzz_input::SplitPieces(data, size)) {
    const bool extractedBefore = session->parameterSetsExtracted != 0;
    session->OnData(const_cast<uint8_t*>(block.bytes), block.length);
    if (block.length == 0) continue;
    const bool header = StartsWithRvdx(block.bytes, block.length);
    // A header block is kept when it is whole and parameter sets are (or
    // now have been) taken from a header.
    const bool kept = !header || (block.length >= kRvdxHeaderSize &&
                                  (extractedBefore || session->parameterSetsExtracted != 0));
    if (kept) expected.Keep(block.bytes, block.length, header);
  }
  session->StopRecord(0);
  const Bytes recorded = ReadWholeFile(recording_file());
  std::remove(recording_file().c_str());
  if (recorded != expected.bytes()) {
    std::fprintf(stderr, "recording holds %zu bytes, the kept blocks %zu\n", recorded.size(),
                 expected.bytes().size());
    std::abort();
  }
  return 0;
}
