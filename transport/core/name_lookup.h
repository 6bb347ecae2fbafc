// Host-name lookup that a stop signal can abandon. The system resolver
// cannot be interrupted and may take many seconds for a name that does
// not answer; a connection being disconnected or destroyed must not wait
// for it. Numeric addresses are resolved at once; names are looked up on
// a helper thread of their own, which the caller stops waiting for as
// soon as the wake descriptor is readable or the deadline passes. An
// abandoned helper finishes on its own and frees what it found.
#pragma once
#include <netdb.h>

#include <chrono>
#include <string>

namespace vkt::transport {

enum class LookupResult { Found, Failed, Stopped };

// On Found, `addresses` is a list to release with freeaddrinfo(); on
// Failed, `failure` says why.
LookupResult lookUpHost(const std::string& host, uint16_t port, int wakeFd,
                        std::chrono::steady_clock::time_point deadline, addrinfo*& addresses, std::string& failure);

}  // namespace vkt::transport
