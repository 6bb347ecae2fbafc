// Loading and checking of the simulator's real content (device_content.h).
#include "device_content.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "h264_stream.h"
#include "wire/frame.h"

namespace vkt::devsim {
namespace {

namespace fs = std::filesystem;

// Room in one data frame for a picture behind the largest header and box.
constexpr size_t kMaxPictureBytes = wire::kMaxPayload - 512 - 24;
constexpr size_t kBoxHeaderBytes = 24;

// SOI, then a JFIF 1.01 APP0 segment without thumbnail.
constexpr uint8_t kJfifSegment[] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01,
                                    0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

bool readWholeFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool hasJpegExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".jpg" || extension == ".jpeg";
}

// The picture with a JFIF APP0 segment right after SOI; false when the
// bytes do not start with SOI.
bool withJfifFirst(std::vector<uint8_t>& picture) {
  if (picture.size() < 4 || picture[0] != 0xFF || picture[1] != 0xD8) return false;
  const bool jfifFirst = picture.size() > 11 && picture[2] == 0xFF && picture[3] == 0xE0 &&
                         std::memcmp(&picture[6], "JFIF", 4) == 0;
  if (!jfifFirst) picture.insert(picture.begin() + 2, std::begin(kJfifSegment), std::end(kJfifSegment));
  return true;
}

void appendLengthPrefixed(std::vector<uint8_t>& out, const uint8_t* unit, size_t length) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), unit, unit + length);
}

bool isSlice(uint8_t type) { return type == 1 || type == 5; }

}  // namespace

std::vector<std::pair<size_t, size_t>> splitAnnexB(const uint8_t* data, size_t length) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= length; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) starts.push_back(i + 3);
  std::vector<std::pair<size_t, size_t>> units;
  for (size_t n = 0; n < starts.size(); ++n) {
    size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : length;
    // Zeros before the next start code (a 4-byte start code, trailing
    // zeros) belong to no unit.
    while (n + 1 < starts.size() && end > starts[n] && data[end - 1] == 0) --end;
    if (end > starts[n]) units.emplace_back(starts[n], end);
  }
  return units;
}

bool loadPictureFiles(const std::string& directory, DeviceContent& content, std::vector<std::string>& skipped,
                      std::string& error) {
  std::error_code failure;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(directory, failure), end; !failure && it != end; it.increment(failure)) {
    if (hasJpegExtension(it->path())) files.push_back(it->path());
  }
  if (failure) {
    error = "cannot read the picture directory " + directory + ": " + failure.message();
    return false;
  }
  if (files.empty()) {
    error = "no .jpg files in " + directory;
    return false;
  }
  std::sort(files.begin(), files.end());
  content.pictures.clear();
  skipped.clear();
  for (const fs::path& file : files) {
    std::vector<uint8_t> picture;
    if (!readWholeFile(file, picture)) {
      skipped.push_back(file.string() + ": " + std::strerror(errno));
    } else if (!withJfifFirst(picture)) {
      skipped.push_back(file.string() + ": not a JPEG file");
    } else if (picture.size() > kMaxPictureBytes) {
      skipped.push_back(file.string() + ": " + std::to_string(picture.size()) + " bytes, more than the " +
                        std::to_string(kMaxPictureBytes) + " a device frame carries");
    } else {
      content.pictures.push_back(std::move(picture));
    }
  }
  if (content.pictures.empty()) {
    error = "no picture in " + directory + " can be served (" + skipped.front() + ")";
    return false;
  }
  return true;
}

bool loadH264File(const std::string& path, DeviceContent& content, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(path, bytes)) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> sps, pps;
  std::vector<H264Picture> pictures;
  H264Picture current;
  bool currentHasSlice = false;
  for (const auto& [start, end] : splitAnnexB(bytes.data(), bytes.size())) {
    const uint8_t* unit = bytes.data() + start;
    const size_t length = end - start;
    const uint8_t type = unit[0] & 0x1F;
    // A picture ends before any other unit that follows its slices, and
    // before a slice that starts a new picture (first_mb_in_slice 0, the
    // leading 1 bit of its header).
    const bool startsPicture = !isSlice(type) || (length > 1 && (unit[1] & 0x80));
    if (currentHasSlice && startsPicture) {
      pictures.push_back(std::move(current));
      current = H264Picture{};
      currentHasSlice = false;
    }
    if (type == 7 || type == 8) {
      std::vector<uint8_t>& set = type == 7 ? sps : pps;
      if (set.empty()) appendLengthPrefixed(set, unit, length);
      continue;
    }
    appendLengthPrefixed(current.units, unit, length);
    current.key = current.key || type == 5;
    currentHasSlice = currentHasSlice || isSlice(type);
  }
  if (currentHasSlice) pictures.push_back(std::move(current));

  if (sps.empty() || pps.empty()) {
    error = path + " holds no sequence or picture parameter set (not an Annex-B H.264 file?)";
    return false;
  }
  const auto firstKey = std::find_if(pictures.begin(), pictures.end(), [](const H264Picture& p) { return p.key; });
  if (firstKey == pictures.end()) {
    error = path + " holds no key picture";
    return false;
  }
  content.parameterSets = sps;
  content.parameterSets.insert(content.parameterSets.end(), pps.begin(), pps.end());
  if (kBoxHeaderBytes + content.parameterSets.size() > kMaxParameterArea) {
    error = path + ": the parameter sets exceed the stream header's " + std::to_string(kMaxParameterArea) +
            " bytes of parameter area";
    return false;
  }
  content.h264Pictures.assign(std::make_move_iterator(firstKey), std::make_move_iterator(pictures.end()));
  for (const H264Picture& picture : content.h264Pictures) {
    if (picture.units.size() > kMaxPictureBytes) {
      error = path + ": a picture is larger than a device frame";
      return false;
    }
  }
  return true;
}

}  // namespace vkt::devsim
