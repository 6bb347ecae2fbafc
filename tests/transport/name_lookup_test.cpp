// Host-name lookup in the connection engine: a connection stopped during a
// slow lookup returns at once, by disconnect or by destruction, and names
// that the resolver answers still connect. The resolver is replaced here
// (the engine is linked into this test), so one name takes seconds.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "core/connection.h"
#include "sdk/transport_api.h"

using namespace std::chrono_literals;

namespace {

const char kSlowName[] = "slow.lookup.test";

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
  static const auto next = reinterpret_cast<decltype(&getaddrinfo)>(dlsym(RTLD_NEXT, "getaddrinfo"));
  if (node && std::strcmp(node, kSlowName) == 0) {
    if (hints && (hints->ai_flags & AI_NUMERICHOST)) return EAI_NONAME;
    std::this_thread::sleep_for(3s);
    return EAI_NONAME;
  }
  return next(node, service, hints, result);
}

namespace {

using vkt::transport::Connection;
using vkt::transport::Endpoint;
using vkt::transport::TransportProfile;

const TransportProfile kProfile{"test", WM_TRANSPORT_NOTIFY, WM_TRANSPORT_DATA};

TEST(NameLookup, StoppingDuringASlowLookupReturnsAtOnce) {
  const struct {
    const char* name;
    void (*stop)(std::unique_ptr<Connection>&);
  } stops[] = {
      {"disconnect", [](std::unique_ptr<Connection>& c) { c->disconnect(); }},
      {"destroy", [](std::unique_ptr<Connection>& c) { c.reset(); }},
  };
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.name);
    auto connection = std::make_unique<Connection>(nullptr, kProfile);
    ASSERT_TRUE(connection->connect(Endpoint{kSlowName, 80}));
    std::this_thread::sleep_for(100ms);  // inside the lookup now
    const auto start = std::chrono::steady_clock::now();
    stop.stop(connection);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  }
}

TEST(NameLookup, NamesTheResolverAnswersStillConnect) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    Connection connection(nullptr, kProfile);
    ASSERT_TRUE(connection.connect(Endpoint{host, ntohs(address.sin_port)}));
    pollfd incoming{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&incoming, 1, 5000), 1);
    const int accepted = ::accept(listener, nullptr, nullptr);
    EXPECT_GE(accepted, 0);
    connection.disconnect();
    ::close(accepted);
  }
  ::close(listener);
}

}  // namespace
