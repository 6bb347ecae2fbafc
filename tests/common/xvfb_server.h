// Test helper shared by the suites that need a real X server: an Xvfb on
// the first free display number, stopped with the object.
#pragma once
#include <sys/types.h>

#include <string>

namespace vkt::test {

// True when an Xvfb executable is on PATH.
bool xvfbInstalled();

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb with one screen of `geometry` ("WIDTHxHEIGHTxDEPTH") and
  // waits for it to report its display number; false if it did not.
  bool start(const std::string& geometry);
  // ":N" once started.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace vkt::test
