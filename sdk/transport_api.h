// The two transport libraries as the device sessions see them: the C
// functions of RemoteSocket (kind 7100) and NVSRemoteSocket (kind 5200), the
// window messages both post to a session's hidden window, and the records
// behind those messages' parameters.
//
// Both libraries report everything as messages to the window handed to
// their create function, so every reaction runs on the thread that owns it.
#pragma once
#include <windows.h>

#include <cstdint>

#ifdef _WIN32
#define TRANSPORT_CALL __cdecl
#else
#define TRANSPORT_CALL
#endif

// Window messages posted by the transports.
enum : UINT {
  WM_TRANSPORT_NOTIFY = 1425,   // RemoteSocket: wParam PacketHeader*, lParam payload
  WM_TRANSPORT_DATA = 1427,     // RemoteSocket: lParam DataBlock*
  WM_TRANSPORT_CONNECT = 1445,  // both: wParam 1 connected, anything else not connected
  WM_TRANSPORT_CLOSE = 1446,    // both: the connection is gone (or was never made)
  WM_TRANSPORT_NOTIFY2 = 1645,  // NVSRemoteSocket: as WM_TRANSPORT_NOTIFY
  WM_TRANSPORT_DATA2 = 1647,    // NVSRemoteSocket: as WM_TRANSPORT_DATA
};

// Why an established connection was lost: the wParam of WM_TRANSPORT_CLOSE
// (0 when a connect attempt failed).
enum : WPARAM {
  TRANSPORT_CLOSED_BY_DEVICE = 1,  // end of stream
  TRANSPORT_FAILED = 2,            // socket error, failed send, no memory for a frame
  TRANSPORT_BAD_FRAME = 3,         // a frame outside the protocol
};

// Frame header of every packet on the wire, handed to the window as is with
// notifications. Little-endian; see docs/protocol.md.
enum : uint32_t { PACKET_MAGIC = 0x50544B56 };  // the bytes "VKTP"
enum : uint8_t {
  PACKET_VERSION = 1,
  PACKET_FLAG_DATA = 0x01,  // a data block (delivered as a data message), not a packet
};
#pragma pack(push, 1)
struct PacketHeader {
  uint32_t magic;          // PACKET_MAGIC
  uint8_t version;         // PACKET_VERSION
  uint8_t flags;           // PACKET_FLAG_*
  uint16_t type;           // packet type (byte 6)
  uint32_t payloadLength;  // bytes that follow the header
  uint32_t sequence;       // per-direction counter, starting at 0
};
#pragma pack(pop)
static_assert(sizeof(PacketHeader) == 16, "wire header is 16 bytes");
static_assert(offsetof(PacketHeader, type) == 6, "packet type sits at byte 6");

// The record behind lParam of a data message: data pointer at byte 0, length at byte 8.
struct DataBlock {
  uint8_t* data;
#if UINTPTR_MAX == 0xFFFFFFFFu
  uint32_t reserved;
#endif
  uint32_t length;
};
static_assert(offsetof(DataBlock, length) == 8, "data length sits at byte 8");

typedef void* TransportHandle;

extern "C" {
// RemoteSocket (kind 7100).
void TRANSPORT_CALL displayDebugMessage(int32_t enable);
int32_t TRANSPORT_CALL initializeRemoteSocket(void);
void TRANSPORT_CALL uninitializeRemoteSocket(void);
TransportHandle TRANSPORT_CALL createRemoteSocket(HWND window, int32_t mode);
int32_t TRANSPORT_CALL connectRemoteSocket(TransportHandle handle, void* connectSocketInfo);
int32_t TRANSPORT_CALL sendPacketDataRemoteSocket(TransportHandle handle, uint16_t type, uint8_t* data,
                                                  uint32_t length);
void TRANSPORT_CALL disconnectRemoteSocket(TransportHandle handle);
void TRANSPORT_CALL destroyRemoteSocket(TransportHandle handle);

// NVSRemoteSocket (kind 5200).
TransportHandle TRANSPORT_CALL NSMGAPI_Create(HWND window);
int32_t TRANSPORT_CALL NSMGAPI_Connect(TransportHandle handle, void* connectSocketInfo);
int32_t TRANSPORT_CALL NSMGAPI_SendInitPacketData(TransportHandle handle);
int32_t TRANSPORT_CALL NSMGAPI_SendPacketData(TransportHandle handle, uint16_t type, uint8_t* data, uint32_t length);
void TRANSPORT_CALL NSMGAPI_Disconnect(TransportHandle handle);
void TRANSPORT_CALL NSMGAPI_Destroy(TransportHandle handle);
}
