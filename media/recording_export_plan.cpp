// Planning an export of a recording (recording_export_plan.h).
#include "recording_export_plan.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "h264_picture_order.h"
#include "stream_parser.h"

namespace {

constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
// Frame pictures' order counts usually step by 2; a cut run that has no
// complete run to learn the step from is judged with at most this.
constexpr int64_t kUsualOrderStep = 2;
constexpr int64_t kDefaultDuration = 40;

struct Candidate {
  size_t box;
  PictureOrder order;
  bool inBand;
};

// A run of pictures sharing one order count sequence: from an IDR picture
// (or a resumption after damage) to the next.
struct Run {
  std::vector<Candidate> pictures;
  bool complete = false;  // the next run starts with an IDR picture and no damage between
  bool ordered = true;    // every order count known
};

std::vector<int64_t> SortedCounts(const Run& run) {
  std::vector<int64_t> counts;
  for (const Candidate& c : run.pictures) counts.push_back(c.order.count);
  std::sort(counts.begin(), counts.end());
  return counts;
}

// The smallest positive step between neighbouring order counts; 0 when none.
int64_t SmallestStep(const std::vector<int64_t>& counts) {
  int64_t step = 0;
  for (size_t i = 1; i < counts.size(); ++i) {
    const int64_t gap = counts[i] - counts[i - 1];
    if (gap > 0 && (step == 0 || gap < step)) step = gap;
  }
  return step;
}

// Cuts a run that ended early back to the longest decoding-order prefix
// whose order counts have no gap wider than `step`: each picture kept then
// shows in order, and each one's references (earlier in decoding order)
// are kept too.
uint32_t TrimToShownInOrder(Run& run, int64_t step) {
  const size_t before = run.pictures.size();
  bool cut = true;
  while (cut && step > 0) {
    cut = false;
    const std::vector<int64_t> counts = SortedCounts(run);
    for (size_t i = 1; i < counts.size() && !cut; ++i) {
      if (counts[i] - counts[i - 1] <= step) continue;
      const int64_t hole = counts[i - 1];
      const auto past = std::find_if(run.pictures.begin(), run.pictures.end(),
                                     [&](const Candidate& c) { return c.order.count > hole; });
      run.pictures.erase(past, run.pictures.end());
      cut = true;
    }
  }
  return static_cast<uint32_t>(before - run.pictures.size());
}

bool Reordered(const Run& run) {
  for (size_t i = 1; i < run.pictures.size(); ++i)
    if (run.pictures[i].order.count < run.pictures[i - 1].order.count) return true;
  return false;
}

int64_t NextTime(int64_t wanted, int64_t previous) { return wanted > previous ? wanted : previous + 1; }

// Whether `order` follows the last reference picture kept: its frame_num
// is that picture's plus one, as for every picture after a reference one.
bool FollowsReference(const PictureOrder& order, const PictureOrder& lastReference) {
  if (!order.frameNumKnown || !lastReference.frameNumKnown || order.log2MaxFrameNum != lastReference.log2MaxFrameNum)
    return false;
  const uint32_t mask = (uint32_t{1} << order.log2MaxFrameNum) - 1;
  return order.frameNum == ((lastReference.frameNum + 1) & mask);
}

}  // namespace

ExportPlan PlanExport(const uint8_t* data, size_t length, const RecordingContents& contents) {
  MemoryRecordingBytes bytes(data, length);
  return PlanExport(bytes, contents);
}

ExportPlan PlanExport(RecordingBytes& bytes, const RecordingContents& contents) {
  ExportPlan plan;
  PictureOrderCounter counter;
  std::vector<Run> runs;
  const NalUnits* inForce = nullptr;
  bool waitingForKey = true;
  bool afterDamage = false;
  PictureOrder lastReference;
  uint32_t damagesSeen = 0;
  int32_t segmentFed = -1;
  for (size_t index = 0; index < contents.boxes.size(); ++index) {
    const RecordedBox& box = contents.boxes[index];
    if (!box.video) continue;
    if (box.damagesBefore != damagesSeen) {
      damagesSeen = box.damagesBefore;
      afterDamage = true;
    }
    const NalUnits* headerSets = box.segment >= 0 ? &contents.segments[box.segment].parameterSets : nullptr;
    if (box.segment != segmentFed && headerSets) {
      for (const std::vector<uint8_t>& set : *headerSets) counter.TakeParameterSet(set.data(), set.size());
      segmentFed = box.segment;
    }
    const uint8_t* whole = bytes.View(box.offset, box.size);
    if (!whole) continue;
    const uint8_t* payload = whole + kQboxHeaderSize;
    PictureOrder order;
    bool sliceSeen = false;
    NalUnits inPicture;
    for (const auto& [at, length] : SplitLengthPrefixedUnits(payload, box.size - kQboxHeaderSize)) {
      if (length == 0) continue;
      const uint8_t type = payload[at] & 0x1F;
      if (type == kNalSps || type == kNalPps) {
        counter.TakeParameterSet(payload + at, length);
        inPicture.emplace_back(payload + at, payload + at + length);
      } else if ((type == 1 || type == 5) && !sliceSeen) {
        order = counter.TakeSlice(payload + at, length);
        sliceSeen = true;
      }
    }
    if (afterDamage && !waitingForKey) {
      afterDamage = false;
      if (!box.key && FollowsReference(order, lastReference))
        ++plan.continuedAfterDamage;
      else
        waitingForKey = true;
    }
    if (waitingForKey && !box.key) continue;
    const bool resumed = waitingForKey;
    waitingForKey = afterDamage = false;
    if (order.reference || order.idr) lastReference = order;

    Candidate candidate{index, order, false};
    if (!inForce) {
      plan.parameterSets = headerSets && !headerSets->empty() ? *headerSets : inPicture;
      inForce = &plan.parameterSets;
    } else if (box.key && headerSets && !headerSets->empty() && *headerSets != *inForce) {
      candidate.inBand = true;
      inForce = headerSets;
    }
    if (runs.empty() || resumed || order.idr) {
      if (!runs.empty()) runs.back().complete = !resumed && order.idr;
      runs.emplace_back();
    }
    runs.back().ordered = runs.back().ordered && order.known;
    runs.back().pictures.push_back(candidate);
  }

  // The order count step, learnt from the runs that are whole.
  int64_t step = 0;
  for (const Run& run : runs) {
    if (!run.complete || !run.ordered) continue;
    const int64_t runStep = SmallestStep(SortedCounts(run));
    if (runStep > 0 && (step == 0 || runStep < step)) step = runStep;
  }
  for (Run& run : runs) {
    if (run.complete || !run.ordered || !Reordered(run)) continue;
    const int64_t ownStep = SmallestStep(SortedCounts(run));
    plan.notShownInOrder += TrimToShownInOrder(run, step ? step : std::min(ownStep, kUsualOrderStep));
  }

  // Decoding times: the boxes' timestamps from the first picture on, made
  // strictly increasing; each run's sorted times go out in presentation order.
  constexpr int64_t kNoOrigin = INT64_MIN;
  int64_t origin = kNoOrigin, previous = -1, delay = 0;
  for (Run& run : runs) {
    if (run.pictures.empty()) continue;
    std::vector<int64_t> times;
    for (const Candidate& c : run.pictures) {
      const int64_t time = contents.boxes[c.box].time;
      if (origin == kNoOrigin) origin = time;
      previous = NextTime(time - origin, previous);
      times.push_back(previous);
    }
    std::vector<size_t> shown(run.pictures.size());
    std::iota(shown.begin(), shown.end(), size_t{0});
    if (run.ordered)
      std::stable_sort(shown.begin(), shown.end(), [&](size_t a, size_t b) {
        return run.pictures[a].order.count < run.pictures[b].order.count;
      });
    const size_t first = plan.pictures.size();
    for (size_t i = 0; i < run.pictures.size(); ++i) {
      ExportedPicture picture;
      picture.box = run.pictures[i].box;
      picture.decodingTime = times[i];
      picture.key = contents.boxes[picture.box].key;
      picture.parameterSetsInBand = run.pictures[i].inBand;
      plan.pictures.push_back(picture);
    }
    for (size_t rank = 0; rank < shown.size(); ++rank) {
      ExportedPicture& picture = plan.pictures[first + shown[rank]];
      picture.presentationTime = times[rank];
      delay = std::max(delay, picture.decodingTime - picture.presentationTime);
    }
  }
  // Decoding runs ahead by the deepest reordering, so that presentation
  // starts at the first timestamp and no picture shows before it decodes.
  for (ExportedPicture& picture : plan.pictures) picture.decodingTime -= delay;

  // Each picture lasts until the next one shown; the last as long as the one before it.
  std::vector<size_t> byPresentation(plan.pictures.size());
  std::iota(byPresentation.begin(), byPresentation.end(), size_t{0});
  std::sort(byPresentation.begin(), byPresentation.end(), [&](size_t a, size_t b) {
    return plan.pictures[a].presentationTime < plan.pictures[b].presentationTime;
  });
  int64_t lastDuration = kDefaultDuration;
  for (size_t i = 0; i < byPresentation.size(); ++i) {
    ExportedPicture& picture = plan.pictures[byPresentation[i]];
    if (i + 1 < byPresentation.size())
      lastDuration = plan.pictures[byPresentation[i + 1]].presentationTime - picture.presentationTime;
    picture.duration = lastDuration;
  }
  return plan;
}
