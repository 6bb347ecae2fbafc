// Fuzz target of the kind-5200 stream reader with the recording writer
// behind it: the input is cut into data blocks (block_stream.h) and fed to
// a session's OnData with a channel open and a recording running, as the
// window procedure would. After the last block the recording must be
// exactly the blocks the reader kept, from the first kept header on, with
// each header's segment length filled in but the last; anything else is a
// finding (abort), as is any bad read the sanitizers see on the way. The
// recording goes to a memory file made once, reopened by its /proc name:
// no file is created or removed per input.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "block_stream.h"
#include "h264_device_session.h"
#include "stream_parser.h"

namespace {

using Bytes = std::vector<uint8_t>;

int memory_file() {
  static const int descriptor = memfd_create("vkt_stream_fuzz.rec", MFD_CLOEXEC);
  return descriptor;
}

const std::string& recording_file() {
  static const std::string path = "/proc/self/fd/" + std::to_string(memory_file());
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

Bytes ReadRecorded() {
  struct stat status;
  if (fstat(memory_file(), &status) != 0) return {};
  Bytes bytes(static_cast<size_t>(status.st_size));
  return pread(memory_file(), bytes.data(), bytes.size(), 0) == status.st_size ? bytes : Bytes{};
}

// One session for every input: its stream and picture buffers (megabytes
// that the sanitizers' allocator would poison and zero again for each
// input) are made once. What an input leaves behind is cleared before the
// next: the parameter-set state, the channel and the recording.
H264DeviceSession* FreshSession() {
  static H264DeviceSession* const session = [] {
    auto* made = new H264DeviceSession();
    made->serverInfo.channelCount = 1;
    return made;
  }();
  session->CloseChannel(0);
  session->parameterSetsExtracted = 0;
  session->prefixPending = 0;
  session->keyFrameSeen = 0;
  // No transport: the start packet cannot go, but the stream buffers are
  // set up and the boxes reach the Annex-B rewrite.
  session->OpenChannel(0, nullptr);
  return session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  H264DeviceSession* session = FreshSession();
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
  const Bytes recorded = ReadRecorded();
  if (recorded != expected.bytes()) {
    std::fprintf(stderr, "recording holds %zu bytes, the kept blocks %zu\n", recorded.size(),
                 expected.bytes().size());
    std::abort();
  }
  return 0;
}
